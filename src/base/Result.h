// What an operation that can fail gives back: its value, or a Failure that
// says what kind of thing went wrong and about what. The words a user reads
// are made from the failure in one place (FailureText.h).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace lumora {

enum class FailureCode {
    System,          // the system refused: `systemError` says why
    BrokenLink,      // a link points at nothing
    NotRegularFile,  // something else (a folder, a pipe, a device) has the name
    ArchiveBusy,     // another program holds the archive
    ArchiveReadOnly,
    ArchiveUnopened,  // the archive file cannot be opened
    ArchiveDamaged,   // damaged, or not an archive at all
    OutOfMemory,
    Database,  // another database error: `systemError` holds its number
};

struct Failure {
    Failure(FailureCode code, int systemError = 0, std::u16string subject = {})
        : code(code), systemError(systemError), subject(std::move(subject)) {}

    FailureCode code;
    int systemError;         // errno for System, the database's code for Database
    std::u16string subject;  // what failed (a path), when the caller needs it
};

// The failure of a system call that set `error` (an errno value).
inline Failure SystemFailure(int error, std::u16string subject = {}) {
    return {FailureCode::System, error, std::move(subject)};
}

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Failure& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

}  // namespace lumora

// The names of the temporary files this process is writing, kept where a
// quit at once (a second Ctrl-C) can still remove them: a fixed table that
// needs no allocation and no lock, so it can be emptied from a signal
// handler, or while other threads are stopped anywhere.
#pragma once

#include <string_view>

namespace lumora {

// One temporary file in the table, for as long as it may be left behind:
// from its creation until it is renamed into place or removed.
class TempFileRegistration {
public:
    TempFileRegistration() = default;
    ~TempFileRegistration() { Clear(); }
    TempFileRegistration(const TempFileRegistration&) = delete;
    TempFileRegistration& operator=(const TempFileRegistration&) = delete;

    // Enters `path`, in place of the one entered before. A path too long for
    // the table, or a full table, is not entered: such a file is left to the
    // clean-up of stale temporary files.
    void Set(std::string_view path);
    // Takes the path out again (the file was renamed or removed).
    void Clear();

private:
    int slot_ = -1;
};

// Removes every file in the table, for a process that ends now. Async-signal-
// safe; the table is not usable afterwards.
void RemoveRegisteredTempFiles();

}  // namespace lumora

// The second half of an atomic file write: a new file beside its target is
// filled and then renamed over the target, so the target is always either
// the old file or the whole new one. How the new file is named and created
// is the caller's (each kind of file has its own temporary names).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumora {

class FileReplacement {
public:
    FileReplacement() = default;
    // Destroying it without Commit removes the new file.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Takes over `fd`, the new file at `temp`, which is to replace `target`
    // (in the same folder, so that the rename never copies). A file taken
    // over before is abandoned.
    void Start(int fd, std::string temp, std::filesystem::path target);
    bool IsOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // False once any write failed (a full disk); later writes do nothing.
    bool Write(std::string_view data);
    // Flushes the file to disk when `sync` is set, closes it and renames it
    // over the target. On any failure the new file is removed, the target is
    // left as it was and error() says why.
    bool Commit(bool sync);
    // Closes and removes the new file.
    void Abandon();
    // The errno value of the first failure, 0 when none.
    int error() const { return error_; }

private:
    void Fail();

    int fd_ = -1;
    int error_ = 0;
    std::string temp_;
    std::filesystem::path target_;
};

}  // namespace lumora

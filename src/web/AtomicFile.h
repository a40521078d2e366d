// Whole-file writes that never leave a truncated file behind.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/FileReplacement.h"
#include "base/TempFileRegistry.h"

namespace lumora {

// A file written piece by piece beside its target and renamed over it only
// by Commit, so the target is either the old file or the whole new one.
// Destroying it without Commit removes the new file.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file; false when it cannot be made.
    bool Open(const std::filesystem::path& target, mode_t mode);
    bool IsOpen() const { return file_.IsOpen(); }
    // False once any write failed (a full disk); later writes do nothing.
    bool Write(std::string_view data) { return file_.Write(data); }
    // Closes the file and renames it over the target.
    bool Commit() {
        const bool done = file_.Commit(false);
        registration_.Clear();
        return done;
    }
    // Closes and removes the temporary file.
    void Abandon() {
        file_.Abandon();
        registration_.Clear();
    }

private:
    // Before file_, so that it is cleared only after file_ removed the file.
    TempFileRegistration registration_;
    FileReplacement file_;
};

// Writes `data` to a new file beside `target` and renames it over `target`
// only when every byte is on disk. `mode` is filtered by the umask as usual.
// A symbolic link at `target` is replaced, never written through.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view data, mode_t mode);

// Removes from `folder` the temporary files that WriteFileAtomically left
// behind when its process died: files of its own name pattern only, older
// than a minute and not locked by a live writer. Returns how many went.
std::size_t RemoveStaleTempFiles(const std::filesystem::path& folder);

}  // namespace lumora

// Whether saved pictures are still what was saved: each file is read once
// and compared with its record in the archive or its album's manifest (size,
// SHA-256), and checked to be a whole picture still.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "download/DownloadArchive.h"

namespace lumora {

// One saved picture and what it must be.
struct SavedFile {
    std::u16string path;
    std::u16string address;
    std::u16string albumFolder;  // ends with "/"
    std::u16string albumTitle;   // from the manifest; empty when only the archive knows the file
    std::u16string albumAddress;
    std::uint64_t size = 0;
    std::string sha256;  // empty: not recorded (saved before checksums were kept)
};

struct SavedFileList {
    std::vector<SavedFile> files;  // each path once
    // Folders that were asked for and are not there.
    std::vector<std::u16string> missingFolders;
    // Folders that hold nothing the archive or a manifest knows.
    std::vector<std::u16string> unknownFolders;
};

// The saved pictures in `folders` (album folders, or folders above them),
// from the archive (may be null) and from every "album.json" found under
// them; with no folders, every picture the archive knows. Where both know a
// file, the archive's record counts: it is the newer.
SavedFileList CollectSavedFiles(const std::vector<std::u16string>& folders, DownloadArchive* archive);

enum class SavedProblem { None, Missing, Size, Changed, NotPicture };
// "missing", "size", "changed", "not-picture": stable, for scripts.
const char* SavedProblemCode(SavedProblem problem);

struct SavedFileCheck {
    SavedFile file;
    SavedProblem problem = SavedProblem::None;
    std::uint64_t sizeNow = 0;  // the file's size, when there is a file
};

// "缺失", "大小不符：应为N字节，现为M字节", ...: the problem for people.
std::u16string SavedProblemText(const SavedFileCheck& check);

// Reads one file and compares it with what it must be.
SavedFileCheck CheckSavedFile(const SavedFile& file);

// Checks the files on up to `threads` threads at once; returns those with a
// problem, in the order of `files`. `progress` (may be empty) is told the
// count checked, from the checking threads; `stop` ends the check early.
std::vector<SavedFileCheck> CheckSavedFiles(const std::vector<SavedFile>& files, unsigned threads,
                                            const std::function<void(std::size_t checked)>& progress,
                                            const std::atomic<bool>* stop = nullptr);

}  // namespace lumora

// The pictures of the album being downloaded, and the run's shared values.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/Utf16Le.h"  // the marker and picture-name files' text
#include "web/TransferOptions.h"

namespace lumora {

// One album's items; index i of each array belongs to item i. Written only
// while no worker runs; workers get their own copy of their item.
struct DownloadJob {
    std::vector<std::u16string> addresses;     // may carry a fallback after CR LF
    std::vector<std::u16string> fileNames;     // relative to albumFolder, or absolute
    std::vector<std::u16string> headerTexts;   // empty array: no header texts at all
    std::vector<std::u16string> descriptions;  // as the album page gave them; empty array: not known
    std::u16string albumFolder;                // ends with "/" once set

    std::size_t size() const { return addresses.size(); }
    bool empty() const { return addresses.empty(); }
    void Clear();
    // Full save path of item i: absolute file names stand alone.
    std::u16string SavePath(std::size_t i) const;
};

// Values copied once per run, and the counters of the running album.
struct DownloadRunState {
    std::uint32_t threadCount = 5;
    TransferOptions transfer;  // of every picture of the run
    std::atomic<int> completedCount{0};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> downloadBusy{false};
};

// A file name entry that is a complete path rather than a name in the album folder.
bool IsAbsoluteName(const std::u16string& name);

// The list file for an external download manager: every address entry in
// GBK followed by CR LF (an entry with a fallback gives two lines).
bool WriteListFile(const DownloadJob& job, const std::filesystem::path& file);

// "pic.lumora" in an album folder: the first address of the album's last
// completed download, UTF-16LE without byte-order mark or line end.
inline constexpr char kMarkerFileName[] = "pic.lumora";
void SaveLastFirstAddress(const std::u16string& address, const std::u16string& folder);
// The marker's first line, or empty when there is none.
std::u16string LoadLastFirstAddress(const std::u16string& folder);

}  // namespace lumora

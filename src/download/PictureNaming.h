// Naming of an album's pictures and of its folder, as the pictures are
// collected into the download job.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/PathText.h"  // kMaxComponentBytes
#include "base/RunStates.h"
#include "download/DownloadJob.h"
#include "settings/SettingsBlock.h"

namespace lumora {

// Lower-cased names of the job, so that a collision check need not scan the
// whole job. AddPictureToJob keeps it and rebuilds it whenever the job's name
// count is not the one it last saw (a new album, or a job filled elsewhere).
struct JobNameIndex {
    std::unordered_set<std::u16string> lowerNames;
    // Per collision base and extension: the last "(k)" handed out. Names are
    // only ever added while an album is collected, so every smaller k is
    // still taken and the search may go on from there.
    std::unordered_map<std::u16string, std::uint32_t> lastSuffix;
    std::size_t indexedCount = 0;
};

// What AddPictureToJob reads besides the job: the current site's rules, the
// album being collected and the run around it.
struct NamingContext {
    const NameRules* rules = nullptr;  // read afresh for every picture
    std::u16string albumName;
    std::int32_t albumPosition = 0;  // 0-based position in the album list
    std::int32_t extraNumber1 = 0;   // "?4": an album field the site never fills
    std::int32_t extraNumber2 = 0;   // "?5": likewise
    std::int32_t pickedCount = 0;    // albums ticked for this run
    std::int32_t albumCount = 0;     // albums in the list
    std::u16string spaceName;
    std::u16string lastFirstAddress;                               // loaded when the album folder is set up
    std::atomic<std::uint8_t>* downloadState = nullptr;            // set to 2 to end the album
    std::function<void(const std::u16string&)> showProgress;       // status line 1006
    std::function<void(const std::u16string&)> appendPictureName;  // picture-name file
    JobNameIndex nameIndex;
};

// True when the text from the name's last "." is, ignoring case, one of
// .jpeg .jpg .bmp .gif .png .tif.
bool HasPictureExtension(const std::u16string& name);

// First index of a job file name equal to `name` ignoring case, or -1.
std::ptrdiff_t FindJobName(const DownloadJob& job, const std::u16string& name);

// Names one picture by the context's rules and appends it to the job. The
// album folder is set up (and created) with the album's first picture. With
// "skip downloaded before" on, the picture whose address the folder's marker
// holds is not added and the download state becomes 2.
void AddPictureToJob(DownloadJob& job, NamingContext& context, const std::u16string& address,
                     const std::u16string& description, const std::u16string& headerText);

}  // namespace lumora

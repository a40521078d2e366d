// Naming of an album's pictures and of its folder, as the pictures are
// collected into the download job. Pure: nothing here touches a file, a
// window or the run's state (AlbumCollector does those).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "base/PathText.h"  // kMaxComponentBytes
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
    std::u16string lastFirstAddress;  // the album folder's marker, once the folder is set up
    JobNameIndex nameIndex;
};

// True when the text from the name's last "." is, ignoring case, one of
// .jpeg .jpg .bmp .gif .png .tif.
bool HasPictureExtension(const std::u16string& name);

// First index of a job file name equal to `name` ignoring case, or -1.
std::ptrdiff_t FindJobName(const DownloadJob& job, const std::u16string& name);

// The album folder's own name by the context's rules (folder choice, prefix
// and suffix, escapes ?1, ?3 and ?9), cleaned and cut to one path component;
// empty when the pictures go straight into the save folder.
std::u16string AlbumFolderName(const NamingContext& context);

// Appends the album folder's name to `job.albumFolder`; before the album's first picture.
void SetUpAlbumFolder(DownloadJob& job, const NamingContext& context);

enum class PictureAdded {
    Added,
    // "Skip downloaded before" is on and this is the picture the folder's
    // marker names: it is not added, and the album ends here.
    AlbumDone,
};

// Names one picture by the context's rules, unique within the job ignoring
// case, and appends it to the job.
PictureAdded AddPictureToJob(DownloadJob& job, NamingContext& context, const std::u16string& address,
                             const std::u16string& description, const std::u16string& headerText);

}  // namespace lumora

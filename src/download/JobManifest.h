// An album's manifest from its job as it ended: an entry for every item, in
// the job's order, under the names the items have now.
#pragma once

#include <vector>

#include "download/AlbumManifest.h"
#include "download/DownloadArchive.h"
#include "download/DownloadJob.h"
#include "download/ItemLog.h"

namespace lumora {

// `album` gives the album's fields; `ends` says how items ended, and
// `known[i]` (may be shorter than the job) is the record of an item skipped
// as saved before. An item with no end was left by a stop: unfinished.
// With `positions` the items are numbered by their place in the job (a
// download); without, they keep what the manifest had (a retry).
AlbumManifest JobManifest(const AlbumManifest& album, const DownloadJob& job, const std::vector<ItemEnd>& ends,
                          const std::vector<SavedPicture>& known, bool positions);

}  // namespace lumora

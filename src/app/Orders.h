// What a run is asked to do, taken once when it is started, so that its
// worker asks the window nothing: the desktop program fills an order from its
// widgets on the GUI thread, the command line from its arguments.
#pragma once

#include <string>
#include <vector>

#include "download/DownloadArchive.h"  // FailedPicture
#include "settings/AppSettings.h"
#include "settings/SettingsBlock.h"
#include "site/AlbumRecord.h"
#include "site/SiteAdapter.h"

namespace lumora {

// A get-albums run.
struct AlbumQuery {
    std::u16string address;  // as typed: the run trims it
    // The service it is for (the site box, or what the address is
    // recognised as); only one with a site adapter is read.
    int site = kPhotoCommunitySite;
};

// A download run. The naming rules and switches are not in it: they are
// read afresh for every picture, so that a change made during a run applies.
struct DownloadOrder {
    std::vector<ST_PERLISTRECORD> albums;  // the picked albums, in grid order
    std::u16string saveFolder;             // as typed: the run trims it
    DownloadParams params;                 // threads, time-out, size window
    AppSettings app;                       // retries, skip-saved
    // A picture saved before whose file is gone is not fetched again (queue runs and syncs, when switched on).
    bool skipDeleted = false;
    // Album pages are read up to the thread count at once (queue runs and syncs).
    bool readPagesAhead = false;
    // An album keeps the folder it was saved into, whatever its title's number now (queue runs and syncs).
    bool keepAlbumFolders = false;
    // A picture saved before is skipped only when its file still has the recorded checksum.
    bool verifySaved = false;
};

// A run that downloads the last run's failures again, under that run's
// download parameters.
struct RetryOrder {
    AppSettings app;  // retries, skip-saved
};

// A run that fetches saved pictures again whose files were found damaged or
// missing, each under its name and in its folder, replacing what is there.
struct RepairOrder {
    std::vector<FailedPicture> pictures;  // the reason says what was found
    DownloadParams params;                // threads and time-out; no size window
    AppSettings app;                      // retries, limits
};

}  // namespace lumora

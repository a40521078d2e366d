// What a download run did, album by album, for front ends to show.
#pragma once

#include <string>
#include <vector>

#include "app/SiteHost.h"
#include "download/ItemLog.h"

namespace lumora {

struct AlbumOutcome {
    std::u16string title;
    std::u16string address;
    std::u16string folder;
    std::size_t listed = 0;     // pictures collected from the album page
    std::size_t saved = 0;      // pictures downloaded in this run
    std::size_t skipped = 0;    // pictures an earlier run saved, not fetched again
    std::size_t filtered = 0;   // pictures the size window refused, now or before
    std::size_t deleted = 0;    // saved before, deleted by the user since, not fetched again
    bool stopped = false;       // the user stopped the run during this album
    PageRead page;              // reading the album's page: whether it was fetched, or why not
    bool listFileOnly = false;  // wrote the list file instead of downloading
    bool listFileWritten = false;
    std::vector<FailedItem> failures;
};

struct RunTotals {
    std::size_t saved = 0;
    std::size_t skipped = 0;
    std::size_t filtered = 0;
    std::size_t deleted = 0;
    std::size_t failed = 0;
};

struct DownloadReport {
    std::vector<AlbumOutcome> albums;
    std::size_t totalListed = 0;
    bool stopped = false;
    bool nothingPicked = false;
    bool rejectedSavePath = false;  // ended at the save-folder check
    bool failuresUnread = false;    // a retry could not read the last run's failures
    // Archive records that could not be written by the run's end, and why.
    std::size_t unrecorded = 0;
    std::u16string unrecordedReason;

    // Every album page read, every listed picture saved in this run, skipped
    // as saved before or refused by the size window (or every list file
    // written), and every record kept.
    bool Complete() const;
    // Summed over the albums.
    RunTotals Totals() const;
};

}  // namespace lumora

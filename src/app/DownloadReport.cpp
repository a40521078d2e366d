#include "app/DownloadReport.h"

namespace lumora {

bool DownloadReport::Complete() const {
    if (rejectedSavePath || nothingPicked || stopped || failuresUnread || unrecorded > 0) return false;
    for (const auto& album : albums) {
        if (!album.page.fetched) return false;
        if (album.listFileOnly ? !album.listFileWritten
                               : album.saved + album.skipped + album.filtered + album.deleted < album.listed)
            return false;
    }
    return true;
}

RunTotals DownloadReport::Totals() const {
    RunTotals totals;
    for (const AlbumOutcome& album : albums) {
        totals.saved += album.saved;
        totals.skipped += album.skipped;
        totals.filtered += album.filtered;
        totals.deleted += album.deleted;
        totals.failed += album.failures.size();
    }
    return totals;
}

}  // namespace lumora

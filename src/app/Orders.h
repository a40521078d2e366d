// What a run is asked to do, taken once when it is started, so that its
// worker asks the window nothing: the desktop program fills an order from its
// widgets on the GUI thread, the command line from its arguments.
#pragma once

#include <string>
#include <vector>

#include "site/AlbumRecord.h"

namespace lumora {

// A get-albums run.
struct AlbumQuery {
    std::u16string address;  // as typed: the run trims it
};

// A download run.
struct DownloadOrder {
    std::vector<ST_PERLISTRECORD> albums;  // the picked albums, in grid order
    std::u16string saveFolder;             // as typed: the run trims it
};

// The order for the albums at `positions` of the list (in that order; a
// position the list does not hold is left out) and a save folder.
DownloadOrder OrderForPicks(const AlbumList& albums, const std::vector<std::size_t>& positions,
                            std::u16string saveFolder);

}  // namespace lumora

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

}  // namespace lumora

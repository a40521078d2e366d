// The state bytes that a run's workers and the window share. The site
// readers and the download layer both read and set them, so they are
// named here, below both.
#pragma once

#include <cstdint>

namespace lumora {

// Values of the get-albums state byte.
enum GetAlbumsState : std::uint8_t { GET_IDLE = 0, GET_RUNNING = 1, GET_STOP = 2 };
// Values of the download state byte. DOWN_ALBUM_DONE ends the collection
// of the current album's pictures (an earlier download already holds the
// rest) while the run goes on with the next album.
enum DownloadState : std::uint8_t { DOWN_IDLE = 0, DOWN_RUNNING = 1, DOWN_ALBUM_DONE = 2, DOWN_STOP = 3 };

}  // namespace lumora

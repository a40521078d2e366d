// Standard input, output and error of a program started with some of them
// closed.
#pragma once

namespace lumora {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that
// no file or socket opened later gets its number and takes in what is meant
// for the stream. Opened read-only: a write to a stream that was closed still
// fails (EBADF) as before, so a program that checks its output still learns
// that it went nowhere. Call it first in main, before anything opens a file.
void ReserveStandardStreams();

}  // namespace lumora

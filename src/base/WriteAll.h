// A write that puts every byte, or says it could not.
#pragma once

#include <cstddef>

namespace lumora {

// Writes all `size` bytes to `fd`, going on after interruptions and partial
// writes. False when the file takes no more (a full disk); errno says why.
bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace lumora

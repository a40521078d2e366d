// Addresses taken from pages, resolved as a browser would.
#pragma once

#include <string>

namespace lumora {

// `address` resolved against `base` (the page it came from). An address that
// already names its scheme, and an empty one, are returned exactly as given.
std::u16string ResolveAddress(const std::u16string& base, const std::u16string& address);

// True for an address starting with "http://" or "https://" (any case).
bool HasWebScheme(const std::u16string& address);

}  // namespace lumora

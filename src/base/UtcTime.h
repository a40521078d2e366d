// Times that files keep for people and other programs: ISO 8601 in UTC.
#pragma once

#include <string>

namespace lumora {

// "2026-12-10T11:05:32Z": now.
std::string UtcTimeNow();

}  // namespace lumora

// `--json`: every event of a run as one JSON object per line on standard
// output, for scripts. The README lists the events and their fields.
#pragma once

#include <memory>

#include "app/RunEvents.h"

namespace lumora::cli {

std::unique_ptr<RunListener> MakeJsonEvents();

}  // namespace lumora::cli

#include "web/TransferOptions.h"

#include "web/Fetch.h"

namespace lumora {

void ApplyTransferOptions(const TransferOptions& options, FetchRequest& request) {
    request.readTimeoutMs = options.timeoutSeconds * 1000;
    request.stepTimeoutMs = options.stepTimeoutMs;
    request.minSizeKB = static_cast<std::int32_t>(options.sizeWindow.minKB);
    request.maxSizeKB = static_cast<std::int32_t>(options.sizeWindow.maxKB);
    request.retries = options.retries;
    request.stop = options.stop;
    request.diskGuard = options.diskGuard;
}

}  // namespace lumora

// How every picture transfer of a run goes. A run takes them from its order
// once and hands them to each transfer unchanged, so that a limit added here
// reaches every transfer without passing through the layers in between.
#pragma once

#include <cstdint>
#include <memory>

namespace lumora {

class DiskGuard;
class StopToken;
struct FetchRequest;

// Kilobytes (x 1024 bytes); maximum 0 = no limit.
struct SizeWindow {
    std::uint32_t minKB = 0;
    std::uint32_t maxKB = 0;
    bool operator==(const SizeWindow&) const = default;
};

struct TransferOptions {
    // Longest pause allowed between body bytes.
    std::uint32_t timeoutSeconds = 30;
    // Longest wait to connect and for the response headers.
    std::uint32_t stepTimeoutMs = 20000;
    SizeWindow sizeWindow;
    // More attempts after a transient failure within one transfer.
    std::uint8_t retries = 0;
    // Raised by the run's stop: retry waits end, a running transfer is
    // abandoned soon. May be null.
    std::shared_ptr<const StopToken> stop;
    // The run's: the file systems it found at their reserve. May be null.
    std::shared_ptr<DiskGuard> diskGuard;
};

// Sets the request's time-outs, size window, retries and stop from `options`.
void ApplyTransferOptions(const TransferOptions& options, FetchRequest& request);

}  // namespace lumora

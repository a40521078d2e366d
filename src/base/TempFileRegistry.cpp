#include "base/TempFileRegistry.h"

#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>

namespace lumora {
namespace {

// Fifteen download workers, a cookie save and the files of an album's end
// fit many times over.
constexpr std::size_t kSlots = 64;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int {
    kFree,
    kFilling,   // a path is being copied in
    kHeld,      // names a temporary file
    kRemoving,  // taken by RemoveRegisteredTempFiles; never reused
};

struct Slot {
    std::atomic<int> state{kFree};
    char path[kPathBytes];
};

static_assert(std::atomic<int>::is_always_lock_free, "the table is used from signal handlers");

Slot g_slots[kSlots];

}  // namespace

void TempFileRegistration::Set(std::string_view path) {
    Clear();
    if (path.size() >= kPathBytes || path.find('\0') != std::string_view::npos) return;
    for (std::size_t i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) continue;
        std::memcpy(g_slots[i].path, path.data(), path.size());
        g_slots[i].path[path.size()] = '\0';
        g_slots[i].state.store(kHeld, std::memory_order_release);
        slot_ = static_cast<int>(i);
        return;
    }
}

void TempFileRegistration::Clear() {
    if (slot_ < 0) return;
    // A slot being removed stays taken: its path must not change under the remover.
    int expected = kHeld;
    g_slots[slot_].state.compare_exchange_strong(expected, kFree, std::memory_order_release);
    slot_ = -1;
}

void RemoveRegisteredTempFiles() {
    for (Slot& slot : g_slots) {
        int expected = kHeld;
        if (slot.state.compare_exchange_strong(expected, kRemoving, std::memory_order_acquire)) unlink(slot.path);
    }
}

}  // namespace lumora

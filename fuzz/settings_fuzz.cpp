// "soft.dat" of arbitrary bytes: parsed and repaired it always gives usable
// download parameters and a whole image that reads back the same.
#include "fuzz_support.h"
#include "settings/SettingsBlock.h"
#include "settings/SettingsFile.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SettingsBlock block = ParseSettings(std::span<const std::uint8_t>(data, size));
    RepairDownloadParams(block);
    for (const DownloadParams& params : block.downloadParams) {
        fuzz::Check(params.threadCount >= 1 && params.threadCount <= 15, "thread count repaired");
        fuzz::Check(params.timeoutSeconds >= 10, "time-out repaired");
    }
    const std::vector<std::uint8_t> image = SerializeSettings(block);
    fuzz::Check(image.size() == kSettingsBlockSize, "the image is whole");
    fuzz::Check(ParseSettings(image) == block, "the image reads back the same");

    // The histories as stored must still take a new entry.
    const std::u16string offered = HistoryText(block, HistoryKind::SaveFolder, size % kHistoryEntries) + u"/new";
    if (AddToHistory(block, 1, offered)) {
        fuzz::Check(HistoryText(block, HistoryKind::SaveFolder, 0) == offered, "a new entry goes first");
    }
    return 0;
}

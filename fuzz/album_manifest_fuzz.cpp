// The album manifest's reader on arbitrary files (an album.json on a backup
// disk may be anything), and the merge of what it accepts with a run's update.
#include "download/AlbumManifest.h"
#include "fuzz_support.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<AlbumManifest> manifest = ParseManifest(text);
    if (!manifest) return 0;
    // What is written reads back, with every picture.
    const std::optional<AlbumManifest> again = ParseManifest(ManifestJson(*manifest));
    fuzz::Check(again.has_value(), "a written manifest reads back");
    fuzz::Check(again->pictures.size() == manifest->pictures.size(), "every picture reads back");
    AlbumManifest update;
    update.pictures.push_back({1, u"http://a/1.jpg", u"", u"1.jpg", ManifestState::Unfinished, 0, {}, {}});
    update.pictures.push_back({0, u"http://a/2.jpg", u"", u"2.png", ManifestState::Saved, 5, "cd", {}});
    const AlbumManifest merged = MergeManifest(*manifest, update);
    fuzz::Check(merged.pictures.size() >= manifest->pictures.size(), "a merge loses no earlier picture");
    return 0;
}

#include "download/JobManifest.h"

namespace lumora {
namespace {

ManifestState StateOf(ItemEnd::Kind kind) {
    switch (kind) {
    case ItemEnd::Kind::Saved:
    case ItemEnd::Kind::Skipped: return ManifestState::Saved;
    case ItemEnd::Kind::Deleted: return ManifestState::Deleted;
    case ItemEnd::Kind::Failed: return ManifestState::Failed;
    case ItemEnd::Kind::Filtered: return ManifestState::Filtered;
    }
    return ManifestState::Unfinished;
}

// The item's file as the manifest names it: within the album folder when it lies there.
std::u16string ManifestFileName(const DownloadJob& job, std::size_t i) {
    const std::u16string& name = job.fileNames[i];
    if (IsAbsoluteName(name) && name.starts_with(job.albumFolder) && name.size() > job.albumFolder.size()) {
        return name.substr(job.albumFolder.size());
    }
    return name;
}

}  // namespace

AlbumManifest JobManifest(const AlbumManifest& album, const DownloadJob& job, const std::vector<ItemEnd>& ends,
                          const std::vector<SavedPicture>& known, bool positions) {
    AlbumManifest manifest = album;
    manifest.pictures.assign(job.size(), {});
    for (std::size_t i = 0; i < job.size(); ++i) {
        ManifestPicture& picture = manifest.pictures[i];
        picture.position = positions ? static_cast<std::int64_t>(i) + 1 : 0;
        // The manifest names the picture's address, not its fallback.
        picture.address = job.addresses[i].substr(0, job.addresses[i].find(u"\r\n"));
        if (i < job.descriptions.size()) picture.description = job.descriptions[i];
        picture.file = ManifestFileName(job, i);
        picture.state = ManifestState::Unfinished;
    }
    for (const ItemEnd& end : ends) {
        if (end.index >= job.size()) continue;
        ManifestPicture& picture = manifest.pictures[end.index];
        picture.state = StateOf(end.kind);
        picture.reason = end.reason;
        picture.size = end.size;
        picture.sha256 = end.sha256;
        if (end.kind == ItemEnd::Kind::Skipped && end.index < known.size()) {
            picture.size = known[end.index].size;
            picture.sha256 = known[end.index].sha256;
        }
    }
    return manifest;
}

}  // namespace lumora

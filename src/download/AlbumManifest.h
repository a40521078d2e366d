// "album.json" in an album folder: the album's own record (its title and
// address, each picture's address, description and what became of it), so
// that a backup can be understood and checked without Lumora. UTF-8 JSON;
// the fields are stable (the README lists them).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

namespace lumora {

inline constexpr char kManifestFileName[] = "album.json";
inline constexpr int kManifestVersion = 1;

// What became of a picture, as the manifest names it.
enum class ManifestState { Saved, Failed, Filtered, Deleted, Unfinished };
const char* ManifestStateName(ManifestState state);

struct ManifestPicture {
    std::int64_t position = 0;  // 1-based place in the album when it was last listed; 0 unknown
    std::u16string address;
    std::u16string description;
    std::u16string file;  // relative to the album folder, or absolute when saved elsewhere
    ManifestState state = ManifestState::Saved;
    std::uint64_t size = 0;  // saved pictures only
    std::string sha256;      // saved pictures only; empty when it was not recorded
    std::u16string reason;   // failed and filtered pictures: why, for people
};

struct AlbumManifest {
    std::u16string title;
    std::u16string address;
    std::u16string spaceName;
    std::u16string memberAddress;
    std::string savedAt;  // "2026-12-10T11:05:32Z": UTC, when the manifest was written
    std::vector<ManifestPicture> pictures;
};

std::string ManifestJson(const AlbumManifest& manifest);
// Nothing when the text is no manifest of a version this program reads.
std::optional<AlbumManifest> ParseManifest(std::string_view text);

// The manifest in `folder` (ends with "/"), or nothing when there is none or it cannot be read.
std::optional<AlbumManifest> ReadManifest(const std::u16string& folder);
Result<void> WriteManifest(const std::u16string& folder, const AlbumManifest& manifest);

// `update` laid over `earlier`: a picture of `update` takes the place of the
// earlier entry of its file (a format fix may have changed the extension)
// and keeps the position and description that it lacks; an unfinished one
// leaves an earlier entry as it was. Earlier pictures that `update` does not
// name are kept after its own, and the album's fields that `update` lacks
// come from `earlier`.
AlbumManifest MergeManifest(const AlbumManifest& earlier, const AlbumManifest& update);

}  // namespace lumora

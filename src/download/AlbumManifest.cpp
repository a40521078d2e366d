#include "download/AlbumManifest.h"

#include <nlohmann/json.hpp>

#include <algorithm>

#include "base/RegularFile.h"
#include "base/UtcTime.h"
#include "download/DownloadArchive.h"  // IsSameItemFile
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"

namespace lumora {
namespace {

// Keys in the order the README lists them, for people who open the file.
using json = nlohmann::ordered_json;

// A manifest lists every picture of an album; far above any real one.
constexpr std::size_t kMaxManifestBytes = 64u << 20;

constexpr struct {
    ManifestState state;
    const char* name;
} kStateNames[] = {{ManifestState::Saved, "saved"},
                   {ManifestState::Failed, "failed"},
                   {ManifestState::Filtered, "filtered"},
                   {ManifestState::Deleted, "deleted"},
                   {ManifestState::Unfinished, "unfinished"}};

std::optional<ManifestState> StateNamed(const std::string& name) {
    for (const auto& entry : kStateNames) {
        if (name == entry.name) return entry.state;
    }
    return std::nullopt;
}

std::string Utf8(const std::u16string& text) { return WideToUtf8(text); }

// The string at `key`, or empty when it is missing or of another type.
std::u16string TextAt(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? Utf8ToWide(found->get_ref<const std::string&>())
                                                       : std::u16string();
}

json PictureJson(const ManifestPicture& picture) {
    json entry = {{"position", picture.position},
                  {"address", Utf8(picture.address)},
                  {"description", Utf8(picture.description)},
                  {"file", Utf8(picture.file)},
                  {"state", ManifestStateName(picture.state)}};
    if (picture.state == ManifestState::Saved) {
        entry["size"] = picture.size;
        entry["sha256"] = picture.sha256;
    }
    if (!picture.reason.empty()) entry["reason"] = Utf8(picture.reason);
    return entry;
}

std::optional<ManifestPicture> ReadPicture(const json& entry) {
    if (!entry.is_object()) return std::nullopt;
    const auto state = entry.find("state");
    if (state == entry.end() || !state->is_string()) return std::nullopt;
    ManifestPicture picture;
    const std::optional<ManifestState> named = StateNamed(state->get<std::string>());
    if (!named) return std::nullopt;
    picture.state = *named;
    picture.address = TextAt(entry, "address");
    picture.description = TextAt(entry, "description");
    picture.file = TextAt(entry, "file");
    picture.reason = TextAt(entry, "reason");
    if (picture.file.empty()) return std::nullopt;
    if (const auto position = entry.find("position"); position != entry.end() && position->is_number_integer()) {
        picture.position = position->get<std::int64_t>();
    }
    if (const auto size = entry.find("size"); size != entry.end() && size->is_number_unsigned()) {
        picture.size = size->get<std::uint64_t>();
    }
    if (const auto sha = entry.find("sha256"); sha != entry.end() && sha->is_string()) {
        picture.sha256 = sha->get<std::string>();
    }
    return picture;
}

}  // namespace

const char* ManifestStateName(ManifestState state) {
    for (const auto& entry : kStateNames) {
        if (entry.state == state) return entry.name;
    }
    return "saved";
}

std::string ManifestJson(const AlbumManifest& manifest) {
    json pictures = json::array();
    for (const ManifestPicture& picture : manifest.pictures) pictures.push_back(PictureJson(picture));
    const json document = {
        {"version", kManifestVersion},
        {"album", {{"title", Utf8(manifest.title)}, {"address", Utf8(manifest.address)}}},
        {"space", {{"name", Utf8(manifest.spaceName)}, {"member", Utf8(manifest.memberAddress)}}},
        {"saved", manifest.savedAt.empty() ? UtcTimeNow() : manifest.savedAt},
        {"pictures", std::move(pictures)},
    };
    // Invalid UTF-8 from a page is replaced, never a reason to lose the manifest.
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<AlbumManifest> ParseManifest(std::string_view text) {
    const json document = json::parse(text, nullptr, false);
    if (!document.is_object()) return std::nullopt;
    const auto version = document.find("version");
    if (version == document.end() || !version->is_number_integer() || version->get<std::int64_t>() != kManifestVersion)
        return std::nullopt;
    AlbumManifest manifest;
    if (const auto album = document.find("album"); album != document.end() && album->is_object()) {
        manifest.title = TextAt(*album, "title");
        manifest.address = TextAt(*album, "address");
    }
    if (const auto space = document.find("space"); space != document.end() && space->is_object()) {
        manifest.spaceName = TextAt(*space, "name");
        manifest.memberAddress = TextAt(*space, "member");
    }
    manifest.savedAt = WideToUtf8(TextAt(document, "saved"));
    const auto pictures = document.find("pictures");
    if (pictures == document.end() || !pictures->is_array()) return std::nullopt;
    for (const json& entry : *pictures) {
        if (std::optional<ManifestPicture> picture = ReadPicture(entry))
            manifest.pictures.push_back(std::move(*picture));
    }
    return manifest;
}

std::optional<AlbumManifest> ReadManifest(const std::u16string& folder) {
    const FileContents read =
        ReadRegularFile(std::filesystem::path(WideToUtf8(folder)) / kManifestFileName, kMaxManifestBytes);
    if (!read || !*read) return std::nullopt;
    return ParseManifest(**read);
}

Result<void> WriteManifest(const std::u16string& folder, const AlbumManifest& manifest) {
    const std::filesystem::path file = std::filesystem::path(WideToUtf8(folder)) / kManifestFileName;
    errno = 0;
    if (!WriteFileAtomically(file, ManifestJson(manifest), 0666)) {
        return SystemFailure(errno != 0 ? errno : EIO, Utf8ToWide(file.string()));
    }
    return {};
}

AlbumManifest MergeManifest(const AlbumManifest& earlier, const AlbumManifest& update) {
    AlbumManifest merged = update;
    const auto keep = [](std::u16string& field, const std::u16string& earlierField) {
        if (field.empty()) field = earlierField;
    };
    keep(merged.title, earlier.title);
    keep(merged.address, earlier.address);
    keep(merged.spaceName, earlier.spaceName);
    keep(merged.memberAddress, earlier.memberAddress);
    std::vector<bool> replaced(earlier.pictures.size(), false);
    for (ManifestPicture& picture : merged.pictures) {
        for (std::size_t k = 0; k < earlier.pictures.size(); ++k) {
            const ManifestPicture& before = earlier.pictures[k];
            if (replaced[k] || !IsSameItemFile(before.file, picture.file)) continue;
            replaced[k] = true;
            if (picture.position == 0) picture.position = before.position;
            if (picture.description.empty()) picture.description = before.description;
            if (picture.state == ManifestState::Unfinished) picture = before;
            break;
        }
    }
    for (std::size_t k = 0; k < earlier.pictures.size(); ++k) {
        if (!replaced[k]) merged.pictures.push_back(earlier.pictures[k]);
    }
    // In album order; pictures of unknown place last, as they came.
    std::stable_sort(merged.pictures.begin(), merged.pictures.end(),
                     [](const ManifestPicture& a, const ManifestPicture& b) {
                         return a.position != 0 && (b.position == 0 || a.position < b.position);
                     });
    return merged;
}

}  // namespace lumora

#include "download/PictureNaming.h"

#include <array>

#include "base/Utf16.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Room for a picture name and the album folder within the old path limit.
constexpr std::int64_t kNameAndFolderUnits = 250;

// Cuts the last path component so that `reservedBytes` more still fit in one
// component. Names in the album folder are a single component; a complete
// path given as description keeps its folders as they are.
std::u16string FitLastComponent(const std::u16string& path, std::size_t reservedBytes) {
    const std::size_t slash = path.rfind(u'/');
    const std::size_t start = slash == std::u16string::npos ? 0 : slash + 1;
    const std::size_t budget = reservedBytes >= kMaxComponentBytes ? 0 : kMaxComponentBytes - reservedBytes;
    return path.substr(0, start) + CutToUtf8Bytes(path.substr(start), budget);
}

// The first `limit` units, one fewer where the cut would split a surrogate pair.
std::u16string LimitUnits(const std::u16string& name, std::int64_t limit) {
    if (limit <= 0) return {};
    if (name.size() <= static_cast<std::size_t>(limit)) return name;
    std::size_t keep = static_cast<std::size_t>(limit);
    if (IsHighSurrogate(name[keep - 1]) && IsLowSurrogate(name[keep])) --keep;
    return name.substr(0, keep);
}

std::u16string Decimal(std::int64_t value) { return FormatText(u"%d", {value}); }

// Escapes "?1".."?9", each everywhere and in order. Folder names know only
// ?1, ?3 and ?9.
void ReplaceEscapes(std::u16string& text, const NamingContext& context, const std::u16string& number, bool folderName) {
    const std::int64_t position = static_cast<std::int64_t>(context.albumPosition) + 1;
    ReplaceAll(text, u"?1", context.albumName);
    if (!folderName) ReplaceAll(text, u"?2", number);
    ReplaceAll(text, u"?3", Decimal(position));
    if (!folderName) {
        ReplaceAll(text, u"?4", Decimal(context.extraNumber1));
        ReplaceAll(text, u"?5", Decimal(context.extraNumber2));
        ReplaceAll(text, u"?6", Decimal(context.pickedCount));
        ReplaceAll(text, u"?7", Decimal(context.albumCount));
        ReplaceAll(text, u"?8", context.spaceName);
    }
    ReplaceAll(text, u"?9", FormatText(u"%04d", {position}));
}

std::u16string BaseName(const NameRules& rules, const NamingContext& context, const std::u16string& address,
                        const std::u16string& description, const std::u16string& number) {
    if (rules.baseNameChoice == 0) {
        std::u16string name = description;
        CleanFileName(name, 0, false);
        return name.empty() ? context.albumName : name;
    }
    if (rules.baseNameChoice == 2) {
        // An address whose only "/" leads it names nothing; then the number serves.
        const std::size_t slash = address.rfind(u'/');
        if (slash != std::u16string::npos && slash != 0) return address.substr(slash + 1);
    }
    return number;
}

const NameRules& RulesOf(const NamingContext& context) {
    static const NameRules kNoRules{};
    return context.rules ? *context.rules : kNoRules;
}

void SyncIndex(const DownloadJob& job, JobNameIndex& index) {
    if (index.indexedCount == job.fileNames.size() && !job.fileNames.empty()) return;
    index.lowerNames.clear();
    index.lastSuffix.clear();
    for (const auto& name : job.fileNames) index.lowerNames.insert(ToLowerSimple(name));
    index.indexedCount = job.fileNames.size();
}

bool IsTaken(const JobNameIndex& index, const std::u16string& name) {
    return index.lowerNames.count(ToLowerSimple(name)) > 0;
}

// A final name that no item of the job has yet, ignoring case.
struct UniqueName {
    std::u16string name;       // with extension
    std::u16string suffixKey;  // empty when no "(k)" was needed
    std::uint32_t suffix = 0;
};

// Tries name + ext, then base(1) + ext, base(2) + ext ... Each candidate is
// cut from its base so that "(k)" and the extension survive the byte limit.
UniqueName MakeUnique(const JobNameIndex& index, const std::u16string& name, const std::u16string& base,
                      const std::u16string& ext) {
    UniqueName result{name + ext, {}, 0};
    if (!IsTaken(index, result.name)) return result;
    result.suffixKey = std::u16string(1, static_cast<char16_t>(ext.size())) + ext + base;
    const auto known = index.lastSuffix.find(result.suffixKey);
    std::uint32_t k = known == index.lastSuffix.end() ? 0 : known->second;
    do {
        ++k;
        const std::u16string suffix = FormatText(u"(%u)", {static_cast<std::int64_t>(k)});
        result.name = FitLastComponent(base, Utf8Length(suffix) + Utf8Length(ext)) + suffix + ext;
    } while (IsTaken(index, result.name));
    result.suffix = k;
    return result;
}

}  // namespace

bool HasPictureExtension(const std::u16string& name) {
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos) return false;
    static const std::array<std::u16string, 6> kExtensions = {u".jpeg", u".jpg", u".bmp", u".gif", u".png", u".tif"};
    const std::u16string ext = ToLowerSimple(name.substr(dot));
    for (const auto& known : kExtensions) {
        if (ext == known) return true;
    }
    return false;
}

std::ptrdiff_t FindJobName(const DownloadJob& job, const std::u16string& name) {
    const std::u16string lower = ToLowerSimple(name);
    for (std::size_t i = 0; i < job.fileNames.size(); ++i) {
        const std::u16string& candidate = job.fileNames[i];
        if (candidate.size() == name.size() && ToLowerSimple(candidate) == lower) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

std::u16string AlbumFolderName(const NamingContext& context) {
    const NameRules& rules = RulesOf(context);
    std::u16string folder = rules.folderChoice == 0 ? context.albumName : std::u16string();
    folder = FieldText(rules.folderPrefix) + folder + FieldText(rules.folderSuffix);
    ReplaceEscapes(folder, context, {}, true);
    CleanFileName(folder, 0, false);
    return CutToUtf8Bytes(folder, kMaxComponentBytes);
}

void SetUpAlbumFolder(DownloadJob& job, const NamingContext& context) {
    const std::u16string folder = AlbumFolderName(context);
    if (!folder.empty()) job.albumFolder += folder + u'/';
}

PictureAdded AddPictureToJob(DownloadJob& job, NamingContext& context, const std::u16string& address,
                             const std::u16string& description, const std::u16string& headerText) {
    const NameRules& rules = RulesOf(context);
    const std::u16string number = Decimal(static_cast<std::int64_t>(job.size()) + 1);

    std::u16string name;
    if (IsAbsoluteName(description)) {
        name = description;  // the caller chose the complete path
    } else {
        name = FieldText(rules.filePrefix) + BaseName(rules, context, address, description, number) +
               FieldText(rules.fileSuffix);
        ReplaceEscapes(name, context, number, false);
        ReplaceByLists(name, FieldText(rules.replaceWhat), FieldText(rules.replaceWith));
        CleanFileName(name, kTimeStampFallback, true);
    }
    // Collision names grow from the name as it stands before the limits.
    const std::u16string collisionBase = name;

    name = LimitUnits(name, kNameAndFolderUnits - static_cast<std::int64_t>(job.albumFolder.size()));
    std::u16string ext = u".jpg";
    if (HasPictureExtension(name)) {
        const std::size_t dot = name.rfind(u'.');
        ext = name.substr(dot);
        name.erase(dot);
    }
    name = FitLastComponent(name, Utf8Length(ext));

    SyncIndex(job, context.nameIndex);
    const UniqueName unique = MakeUnique(context.nameIndex, name, collisionBase, ext);

    if ((rules.optionFlags & kOptSkipDownloadedBefore) != 0 && !context.lastFirstAddress.empty() &&
        address == context.lastFirstAddress) {
        return PictureAdded::AlbumDone;
    }

    job.addresses.push_back(address);
    job.fileNames.push_back(unique.name);
    job.headerTexts.push_back(headerText);
    job.descriptions.push_back(description);
    JobNameIndex& index = context.nameIndex;
    index.lowerNames.insert(ToLowerSimple(unique.name));
    index.indexedCount = job.fileNames.size();
    if (!unique.suffixKey.empty()) index.lastSuffix[unique.suffixKey] = unique.suffix;
    return PictureAdded::Added;
}

}  // namespace lumora

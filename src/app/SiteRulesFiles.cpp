#include "app/SiteRulesFiles.h"

#include "base/FailureText.h"
#include "base/RegularFile.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"

namespace lumora {
namespace {

namespace fs = std::filesystem;

// Rules files and their pages are small; anything larger is no rules file.
constexpr std::size_t kMostRulesBytes = 4 * 1024 * 1024;
constexpr char16_t kSelfTestFailed[] = u"规则文件未通过自检：";

std::u16string PathText(const fs::path& path) { return Utf8ToWide(path.string()); }

// A fixture page's name stays beside the rules file: no absolute path and no "..".
bool StaysBeside(const std::string& name) {
    const fs::path path(name);
    if (name.empty() || path.is_absolute()) return false;
    for (const fs::path& part : path) {
        if (part == "..") return false;
    }
    return true;
}

std::optional<std::u16string> ReadInto(const fs::path& file, std::string& bytes) {
    const FileContents read = ReadRegularFile(file, kMostRulesBytes);
    if (!read) return FailureText(read.failure());
    if (!*read) return u"文件不存在";
    bytes = std::move(**read);
    return std::nullopt;
}

// Every file a rules file is made of, by its name relative to the rules file.
std::vector<std::pair<std::string, std::string>> FilesOf(const RulesFile& file, const std::string& rulesName,
                                                         const std::string& rulesText) {
    std::vector<std::pair<std::string, std::string>> files{{rulesName, rulesText}};
    for (const RulesFixture& fixture : file.fixtures) files.push_back({fixture.pageFile, fixture.page});
    return files;
}

std::optional<std::u16string> WriteFiles(const fs::path& folder,
                                         const std::vector<std::pair<std::string, std::string>>& files) {
    for (const auto& [name, bytes] : files) {
        const fs::path target = folder / name;
        std::error_code error;
        fs::create_directories(target.parent_path(), error);
        if (!WriteFileAtomically(target, bytes, 0666)) return u"无法写入" + PathText(target);
    }
    return std::nullopt;
}

}  // namespace

fs::path UserRulesFile(const fs::path& programFolder) { return programFolder / "sites" / kBuiltInRulesName; }

LoadedRules LoadRulesFile(const fs::path& file) {
    const std::u16string name = PathText(file);
    std::string text;
    if (auto problem = ReadInto(file, text))
        return {std::nullopt, false, u"无法读取规则文件" + name + u"：" + *problem};
    RulesReadResult read = ReadRulesText(text);
    if (!read.file) return {std::nullopt, false, u"规则文件格式有误：" + name + u"：" + read.error};
    for (RulesFixture& fixture : read.file->fixtures) {
        if (!StaysBeside(fixture.pageFile))
            return {std::nullopt, false,
                    kSelfTestFailed + name + u"：" + Utf8ToWide(fixture.name) + u"：页面须在规则文件旁"};
        if (auto problem = ReadInto(file.parent_path() / fixture.pageFile, fixture.page)) {
            return {std::nullopt, false,
                    kSelfTestFailed + name + u"：" + Utf8ToWide(fixture.name) + u"：无法读取页面" +
                        Utf8ToWide(fixture.pageFile) + u"（" + *problem + u"）"};
        }
    }
    const auto failure = FirstFixtureFailure(*read.file);
    return {std::move(read.file), !failure, failure ? kSelfTestFailed + name + u"：" + *failure : std::u16string()};
}

RulesSource LoadRulesInForce(const fs::path& programFolder) {
    RulesSource source;
    const fs::path file = UserRulesFile(programFolder);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(file, error))) {
        PutRulesInForce(std::make_shared<const SiteRules>(BuiltInRules()));
        return source;
    }
    source.file = file;
    LoadedRules loaded = LoadRulesFile(file);
    if (!loaded.passed) {
        // The last good rules stay: those in force in this process.
        source.refused = std::move(loaded.problem);
        return source;
    }
    PutRulesInForce(std::make_shared<const SiteRules>(loaded.file->rules));
    source.builtIn = false;
    return source;
}

std::optional<std::u16string> InstallRules(const fs::path& programFolder, const fs::path& file) {
    LoadedRules loaded = LoadRulesFile(file);
    if (!loaded.passed) return loaded.problem;
    if (loaded.file->rules.site != BuiltInRules().site)
        return u"规则文件不是本网站的：" + Utf8ToWide(loaded.file->rules.site);
    std::string text;
    if (auto problem = ReadInto(file, text)) return problem;
    const fs::path target = UserRulesFile(programFolder);
    if (auto problem = WriteFiles(target.parent_path(), FilesOf(*loaded.file, kBuiltInRulesName, text))) return problem;
    PutRulesInForce(std::make_shared<const SiteRules>(loaded.file->rules));
    return std::nullopt;
}

std::optional<std::u16string> ResetRules(const fs::path& programFolder) {
    std::error_code error;
    fs::remove(UserRulesFile(programFolder), error);
    if (error) return u"无法删除" + PathText(UserRulesFile(programFolder)) + u"：" + Utf8ToWide(error.message());
    PutRulesInForce(std::make_shared<const SiteRules>(BuiltInRules()));
    return std::nullopt;
}

std::optional<std::u16string> ExportRules(const fs::path& programFolder, const fs::path& folder) {
    const RulesSource source = LoadRulesInForce(programFolder);
    if (!source.builtIn) {
        LoadedRules loaded = LoadRulesFile(source.file);
        if (!loaded.passed) return loaded.problem;
        std::string text;
        if (auto problem = ReadInto(source.file, text)) return problem;
        return WriteFiles(folder, FilesOf(*loaded.file, kBuiltInRulesName, text));
    }
    return WriteFiles(folder, {BuiltInRulesFiles().begin(), BuiltInRulesFiles().end()});
}

}  // namespace lumora

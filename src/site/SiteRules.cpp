#include "site/SiteRules.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "site/AlbumPages.h"
#include "site/PicturePages.h"
#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Every rule by its key in the file, in the order the file lists them.
struct RuleKey {
    const char* key;
    std::u16string SiteRules::*member;
};
constexpr RuleKey kRuleKeys[] = {
    {"list.host", &SiteRules::host},
    {"list.page-tag", &SiteRules::pageTag},
    {"list.placeholder", &SiteRules::placeholder},
    {"list.listing-marker", &SiteRules::listingMarker},
    {"list.listing-from", &SiteRules::listingFrom},
    {"list.listing-to", &SiteRules::listingTo},
    {"list.member-marker", &SiteRules::memberMarker},
    {"list.template", &SiteRules::listTemplate},
    {"list.next-page", &SiteRules::nextPage},
    {"list.space-name-begin", &SiteRules::spaceNameBegin},
    {"list.space-name-end", &SiteRules::spaceNameEnd},
    {"list.space-name-member", &SiteRules::spaceNameMember},
    {"list.album-block", &SiteRules::albumBlock},
    {"list.album-address-begin", &SiteRules::albumAddressBegin},
    {"list.album-address-end", &SiteRules::albumAddressEnd},
    {"list.album-address-from", &SiteRules::albumAddressFrom},
    {"list.album-address-to", &SiteRules::albumAddressTo},
    {"list.album-title-begin", &SiteRules::albumTitleBegin},
    {"list.album-title-end", &SiteRules::albumTitleEnd},
    {"list.album-cover-begin", &SiteRules::albumCoverBegin},
    {"list.album-cover-end", &SiteRules::albumCoverEnd},
    {"album.picture-block", &SiteRules::pictureBlock},
    {"album.picture-address-begin", &SiteRules::pictureAddressBegin},
    {"album.picture-address-end", &SiteRules::pictureAddressEnd},
    {"album.thumbnail-suffix", &SiteRules::thumbnailSuffix},
};
// Rules that may be empty: the rest must be given.
bool MayBeEmpty(std::u16string SiteRules::*member) {
    return member == &SiteRules::thumbnailSuffix || member == &SiteRules::albumAddressFrom ||
           member == &SiteRules::albumAddressTo;
}

std::string Trimmed(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(text[start])) ++start;
    return text.substr(start);
}

// "ADDRESS REST": the address, then the rest of the value.
std::pair<std::u16string, std::u16string> AddressAndText(const std::string& value) {
    const std::size_t space = value.find(' ');
    if (space == std::string::npos) return {Utf8ToWide(value), {}};
    return {Utf8ToWide(value.substr(0, space)), Utf8ToWide(Trimmed(value.substr(space + 1)))};
}

std::u16string LineError(std::size_t line, const std::u16string& what) {
    return FormatText(u"第%d行：%s", {static_cast<std::int64_t>(line), what});
}

// Sets a fixture's key; false when the key is none of a fixture's.
bool SetFixtureKey(RulesFixture& fixture, const std::string& key, const std::string& value) {
    if (key == "kind") {
        if (value != "list-page" && value != "album-page") return false;
        fixture.kind = value == "list-page" ? RulesFixture::Kind::ListPage : RulesFixture::Kind::AlbumPage;
    } else if (key == "page") {
        fixture.pageFile = value;
    } else if (key == "address") {
        fixture.address = Utf8ToWide(value);
    } else if (key == "first-page") {
        fixture.firstPage = value == "yes";
    } else if (key == "space-name") {
        fixture.spaceName = Utf8ToWide(value);
    } else if (key == "next-page") {
        fixture.nextPage = value == "yes";
    } else if (key == "album") {
        fixture.albums.push_back(AddressAndText(value));
    } else if (key == "album-title") {
        fixture.albumTitle = Utf8ToWide(value);
    } else if (key == "picture") {
        fixture.pictures.push_back(AddressAndText(value));
    } else {
        return false;
    }
    return true;
}

std::u16string Quoted(const std::u16string& text) { return u"“" + text + u"”"; }

// The conversions of a template, "%s%d" for "http://%s/%d.html"; "%%" is none.
// Widths are refused with the rest: a rules file must not size the program's strings.
std::u16string ConversionsOf(const std::u16string& pattern) {
    std::u16string found;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == u'%') {
            ++i;
            continue;
        }
        found += u'%';
        found += i + 1 < pattern.size() ? pattern[i + 1] : u'?';
        ++i;
    }
    return found;
}

// What differs between a fixture's expectations and what the rules gave.
std::optional<std::u16string> ListPageDifference(const SiteRules& rules, const RulesFixture& fixture) {
    const AlbumPage page = ParseAlbumPage(Utf8ToWide(fixture.page), fixture.address, fixture.firstPage, rules);
    if (fixture.nextPage && page.hasNextPage != *fixture.nextPage) {
        return FormatText(u"下一页应为%s，得到%s", {std::u16string(*fixture.nextPage ? u"有" : u"无"),
                                                    std::u16string(page.hasNextPage ? u"有" : u"无")});
    }
    if (fixture.spaceName && page.spaceName != *fixture.spaceName) {
        return u"空间名称应为" + Quoted(*fixture.spaceName) + u"，得到" + Quoted(page.spaceName);
    }
    if (page.albums.size() != fixture.albums.size()) {
        return FormatText(u"相册数应为%d，得到%d", {static_cast<std::int64_t>(fixture.albums.size()),
                                                    static_cast<std::int64_t>(page.albums.size())});
    }
    for (std::size_t i = 0; i < page.albums.size(); ++i) {
        const auto number = static_cast<std::int64_t>(i + 1);
        if (page.albums[i].address != fixture.albums[i].first)
            return FormatText(u"第%d个相册的地址应为", {number}) + Quoted(fixture.albums[i].first) + u"，得到" +
                   Quoted(page.albums[i].address);
        if (page.albums[i].title != fixture.albums[i].second)
            return FormatText(u"第%d个相册的标题应为", {number}) + Quoted(fixture.albums[i].second) + u"，得到" +
                   Quoted(page.albums[i].title);
    }
    return std::nullopt;
}

std::optional<std::u16string> AlbumPageDifference(const SiteRules& rules, const RulesFixture& fixture) {
    ST_PERLISTRECORD album;
    album.title = fixture.albumTitle;
    album.address = fixture.address;
    const std::vector<PictureEntry> pictures = ParsePicturePage(Utf8ToWide(fixture.page), album, rules);
    if (pictures.size() != fixture.pictures.size()) {
        return FormatText(u"图片数应为%d，得到%d", {static_cast<std::int64_t>(fixture.pictures.size()),
                                                    static_cast<std::int64_t>(pictures.size())});
    }
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto number = static_cast<std::int64_t>(i + 1);
        if (pictures[i].address != fixture.pictures[i].first)
            return FormatText(u"第%d张图片的地址应为", {number}) + Quoted(fixture.pictures[i].first) + u"，得到" +
                   Quoted(pictures[i].address);
        if (pictures[i].description != fixture.pictures[i].second)
            return FormatText(u"第%d张图片的说明应为", {number}) + Quoted(fixture.pictures[i].second) + u"，得到" +
                   Quoted(pictures[i].description);
    }
    return std::nullopt;
}

std::mutex gInForceMutex;
std::shared_ptr<const SiteRules>& InForceSlot() {
    static std::shared_ptr<const SiteRules> slot;
    return slot;
}

}  // namespace

RulesReadResult ReadRulesText(const std::string& text) {
    RulesFile file;
    std::map<std::string, bool> given;
    RulesFixture* fixture = nullptr;
    bool inRules = false;
    std::istringstream lines(text);
    std::size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
        line = Trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']') return {std::nullopt, LineError(number, u"节名缺少“]”")};
            const std::string section = Trimmed(line.substr(1, line.size() - 2));
            inRules = section == "rules";
            fixture = nullptr;
            if (section.starts_with("fixture ") && !Trimmed(section.substr(8)).empty()) {
                file.fixtures.push_back({});
                fixture = &file.fixtures.back();
                fixture->name = Trimmed(section.substr(8));
            } else if (!inRules) {
                return {std::nullopt, LineError(number, u"未知的节：" + Utf8ToWide(section))};
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) return {std::nullopt, LineError(number, u"缺少“=”")};
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        if (fixture) {
            if (!SetFixtureKey(*fixture, key, value))
                return {std::nullopt, LineError(number, u"未知的键：" + Utf8ToWide(key))};
            continue;
        }
        if (!inRules) return {std::nullopt, LineError(number, u"键不在任何节中")};
        if (key == "site" || key == "version" || key == "date") {
            (key == "site" ? file.rules.site : key == "version" ? file.rules.version : file.rules.date) = value;
            given[key] = true;
            continue;
        }
        bool known = false;
        for (const RuleKey& rule : kRuleKeys) {
            if (key == rule.key) {
                file.rules.*rule.member = Utf8ToWide(value);
                given[key] = known = true;
            }
        }
        if (!known) return {std::nullopt, LineError(number, u"未知的规则：" + Utf8ToWide(key))};
    }
    for (const char* key : {"site", "version", "date"}) {
        if (!given[key]) return {std::nullopt, u"缺少" + Utf8ToWide(key)};
    }
    for (const RuleKey& rule : kRuleKeys) {
        if (!given[rule.key]) return {std::nullopt, u"缺少规则 " + Utf8ToWide(rule.key)};
        if (file.rules.*rule.member == u"" && !MayBeEmpty(rule.member))
            return {std::nullopt, u"规则 " + Utf8ToWide(rule.key) + u" 不能为空"};
    }
    if (ConversionsOf(file.rules.listTemplate) != u"%s%s")
        return {std::nullopt, u"规则 list.template 须含两个 %s（主机和成员），别无其他 %"};
    if (ConversionsOf(file.rules.pageTag) != u"%d")
        return {std::nullopt, u"规则 list.page-tag 须含一个 %d（页码），别无其他 %"};
    for (const RulesFixture& each : file.fixtures) {
        if (each.pageFile.empty()) return {std::nullopt, u"自检 " + Utf8ToWide(each.name) + u" 缺少 page"};
    }
    return {std::move(file), {}};
}

std::string WriteRulesText(const RulesFile& file) {
    std::string text = "; Lumora's rules for one site's pages: see the README (\"Site rules\").\n[rules]\n";
    text += "site = " + file.rules.site + "\nversion = " + file.rules.version + "\ndate = " + file.rules.date + "\n";
    for (const RuleKey& rule : kRuleKeys)
        text += std::string(rule.key) + " = " + WideToUtf8(file.rules.*rule.member) + "\n";
    for (const RulesFixture& fixture : file.fixtures) {
        text += "\n[fixture " + fixture.name + "]\n";
        const bool list = fixture.kind == RulesFixture::Kind::ListPage;
        text += std::string("kind = ") + (list ? "list-page" : "album-page") + "\n";
        text += "page = " + fixture.pageFile + "\naddress = " + WideToUtf8(fixture.address) + "\n";
        if (list) {
            text += std::string("first-page = ") + (fixture.firstPage ? "yes" : "no") + "\n";
            if (fixture.spaceName) text += "space-name = " + WideToUtf8(*fixture.spaceName) + "\n";
            if (fixture.nextPage) text += std::string("next-page = ") + (*fixture.nextPage ? "yes" : "no") + "\n";
            for (const auto& [address, title] : fixture.albums)
                text += "album = " + WideToUtf8(address) + " " + WideToUtf8(title) + "\n";
        } else {
            text += "album-title = " + WideToUtf8(fixture.albumTitle) + "\n";
            for (const auto& [address, description] : fixture.pictures)
                text += "picture = " + WideToUtf8(address) + " " + WideToUtf8(description) + "\n";
        }
    }
    return text;
}

std::optional<std::u16string> FirstFixtureFailure(const RulesFile& file,
                                                  std::vector<std::pair<std::string, std::u16string>>* each) {
    std::optional<std::u16string> first;
    if (file.fixtures.empty()) first = u"没有自检";
    for (const RulesFixture& fixture : file.fixtures) {
        const std::optional<std::u16string> difference = fixture.kind == RulesFixture::Kind::ListPage
                                                             ? ListPageDifference(file.rules, fixture)
                                                             : AlbumPageDifference(file.rules, fixture);
        if (each) each->push_back({fixture.name, difference.value_or(u"")});
        if (difference && !first) first = Utf8ToWide(fixture.name) + u"：" + *difference;
    }
    return first;
}

const RulesFile& BuiltInRulesFile() {
    static const RulesFile file = [] {
        const auto& files = BuiltInRulesFiles();
        RulesReadResult read = ReadRulesText(files.at(kBuiltInRulesName));
        if (!read.file) std::abort();  // the build's own data: its tests keep it whole
        for (RulesFixture& fixture : read.file->fixtures) fixture.page = files.at(fixture.pageFile);
        return std::move(*read.file);
    }();
    return file;
}

std::shared_ptr<const SiteRules> RulesInForce() {
    std::lock_guard lock(gInForceMutex);
    if (!InForceSlot()) InForceSlot() = std::make_shared<const SiteRules>(BuiltInRules());
    return InForceSlot();
}

void PutRulesInForce(std::shared_ptr<const SiteRules> rules) {
    std::lock_guard lock(gInForceMutex);
    InForceSlot() = std::move(rules);
}

}  // namespace lumora

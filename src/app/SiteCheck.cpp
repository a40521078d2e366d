#include "app/SiteCheck.h"

#include "site/SiteAdapter.h"
#include "site/SiteRules.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Fetch.h"
#include "web/PageText.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPageTimeoutMs = 20000;

std::size_t CountOf(const std::u16string& text, const std::u16string& marker) {
    if (marker.empty()) return 0;
    std::size_t count = 0;
    for (std::size_t at = text.find(marker); at != std::u16string::npos; at = text.find(marker, at + marker.size()))
        ++count;
    return count;
}

std::u16string Found(const std::u16string& name, std::size_t count) {
    return FormatText(u"%s：找到%d处", {name, static_cast<std::int64_t>(count)});
}
std::u16string FoundOrNot(const std::u16string& name, bool found) { return name + (found ? u"：找到" : u"：未找到"); }

// The page's text, or a line that says why it could not be read.
bool ReadPage(const std::u16string& address, std::uint8_t retries, const std::shared_ptr<const StopToken>& stop,
              const SiteAdapter& adapter, std::u16string& text, std::u16string& line) {
    FetchRequest request(address, u"", kPageTimeoutMs);
    request.extraHeaders = u"Accept-Encoding: gzip, deflate";
    request.retries = retries;
    request.stop = stop;
    FetchResult result;
    if (!FetchPage(request, result, 0)) {
        line = address + u"：无法读取（" + FetchErrorMessage(result.error, result.httpStatus) + u"）";
        return false;
    }
    text = GetPageText(result, adapter.PageTextFlags());
    line = address + u"：已读取";
    return true;
}

// How many of the blocks carry the field's begin marker.
std::size_t BlocksWith(const std::vector<std::u16string>& blocks, const std::u16string& begin) {
    std::size_t count = 0;
    for (const std::u16string& block : blocks) count += block.find(begin) != std::u16string::npos;
    return count;
}

std::vector<std::u16string> BlocksOf(const std::u16string& text, const std::u16string& marker) {
    StringArray parts;
    if (marker.empty() || SplitText(parts, text, marker) < 1) return {};
    return {parts.begin() + 1, parts.end()};
}

}  // namespace

SiteCheckReport CheckSite(const std::u16string& address, std::uint8_t retries, std::shared_ptr<const StopToken> stop) {
    SiteCheckReport report;
    const SiteAdapter& adapter = *FindSiteAdapter(kPhotoCommunitySite);
    const std::shared_ptr<const SiteRules> rules = RulesInForce();
    const std::u16string listAddress = adapter.ListPageAddress(adapter.ListPagesTemplate(address), 1);
    std::u16string text, line;
    const bool listRead = ReadPage(listAddress, retries, stop, adapter, text, line);
    report.lines.push_back(u"相册列表页 " + line);
    if (!listRead) {
        report.verdict = u"结论：无法读取相册列表页";
        return report;
    }
    const std::vector<std::u16string> albumBlocks = BlocksOf(text, rules->albumBlock);
    report.lines.push_back(Found(u"相册块标记 " + rules->albumBlock, albumBlocks.size()));
    report.lines.push_back(
        Found(u"相册地址 " + rules->albumAddressBegin, BlocksWith(albumBlocks, rules->albumAddressBegin)));
    report.lines.push_back(
        Found(u"相册标题 " + rules->albumTitleBegin, BlocksWith(albumBlocks, rules->albumTitleBegin)));
    report.lines.push_back(
        Found(u"相册封面 " + rules->albumCoverBegin, BlocksWith(albumBlocks, rules->albumCoverBegin)));
    report.lines.push_back(FoundOrNot(u"下一页 " + rules->nextPage, CountOf(text, rules->nextPage) > 0));
    const std::size_t nameAt = text.find(rules->spaceNameBegin);
    report.lines.push_back(
        FoundOrNot(u"空间名称 " + rules->spaceNameBegin + u"…" + rules->spaceNameEnd,
                   nameAt != std::u16string::npos && text.find(rules->spaceNameEnd, nameAt) != std::u16string::npos));
    const AlbumPage page = adapter.ParseAlbumPage(text, listAddress, true);
    report.albums = page.albums.size();
    if (page.albums.empty()) {
        report.verdict = u"结论：相册列表页中没有找到相册，网站的页面格式可能已改变";
        return report;
    }
    const ST_PERLISTRECORD& first = page.albums.front();
    const bool albumRead = ReadPage(adapter.PicturePageAddress(first), retries, stop, adapter, text, line);
    report.lines.push_back(u"相册页 " + line);
    if (!albumRead) {
        report.verdict =
            FormatText(u"结论：找到%d个相册，但无法读取第一个相册的页面", {static_cast<std::int64_t>(report.albums)});
        return report;
    }
    const std::vector<std::u16string> pictureBlocks = BlocksOf(text, rules->pictureBlock);
    report.lines.push_back(Found(u"图片块 " + rules->pictureBlock, pictureBlocks.size()));
    report.lines.push_back(
        Found(u"图片地址 " + rules->pictureAddressBegin, BlocksWith(pictureBlocks, rules->pictureAddressBegin)));
    if (!rules->thumbnailSuffix.empty())
        report.lines.push_back(Found(u"缩略图后缀 " + rules->thumbnailSuffix, CountOf(text, rules->thumbnailSuffix)));
    report.pictures = adapter.ParsePicturePage(text, first).size();
    report.verdict =
        report.pictures > 0
            ? FormatText(u"结论：网站格式正常：第一页有%d个相册，第一个相册有%d张图片",
                         {static_cast<std::int64_t>(report.albums), static_cast<std::int64_t>(report.pictures)})
            : FormatText(u"结论：找到%d个相册，但相册页中没有找到图片，网站的页面格式可能已改变",
                         {static_cast<std::int64_t>(report.albums)});
    return report;
}

}  // namespace lumora

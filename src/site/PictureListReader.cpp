#include "site/PictureListReader.h"

#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"
#include "web/Fetch.h"
#include "web/PageText.h"

namespace lumora {
namespace {

constexpr std::uint32_t kPageTimeoutMs = 20000;

}  // namespace

void ReadPictureList(SiteHost& host, const ST_PERLISTRECORD& album, const PictureSink& addPicture) {
    FetchRequest request(album.address, u"", kPageTimeoutMs);
    request.extraHeaders = u"Accept-Encoding: gzip, deflate";
    FetchResult result;
    if (!FetchPage(request, result, 0)) return;
    const std::u16string text = GetPageText(result, TEXT_INFLATE | TEXT_UTF8);
    if (text.empty()) return;
    for (const PictureEntry& entry : ParsePicturePage(text, album)) {
        addPicture(entry.address, entry.description);
        std::uint8_t state = host.session().downloadState;
        if (state == DOWN_STOP || state == 2) return;
    }
}

std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album) {
    std::vector<PictureEntry> entries;
    StringArray blocks;
    if (SplitText(blocks, text, u"class=\"picture") == 0) return entries;
    entries.reserve(blocks.size() - 1);
    for (std::size_t j = 1; j < blocks.size(); ++j) {
        std::u16string address = ExtractBetween(blocks[j], u"src=\"", u"\"", EXTRACT_CONSUME);
        ReplaceAll(address, u"_mthumb", u"");
        entries.push_back({ResolveAddress(album.address, address),
                           FormatText(u"%s (%d)", {album.title, static_cast<std::int64_t>(j)})});
    }
    return entries;
}

}  // namespace lumora

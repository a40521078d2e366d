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
    std::u16string text = GetPageText(result, TEXT_INFLATE | TEXT_UTF8);
    if (text.empty()) return;
    StringArray blocks;
    if (SplitText(blocks, text, u"class=\"picture") == 0) return;
    for (std::size_t j = 1; j < blocks.size(); ++j) {
        std::u16string address = ExtractBetween(blocks[j], u"src=\"", u"\"", EXTRACT_CONSUME);
        ReplaceAll(address, u"_mthumb", u"");
        address = ResolveAddress(album.address, address);
        addPicture(address, FormatText(u"%s (%d)", {album.title, static_cast<std::int64_t>(j)}));
        std::uint8_t state = host.session().downloadState;
        if (state == DOWN_STOP || state == 2) return;
    }
}

}  // namespace lumora

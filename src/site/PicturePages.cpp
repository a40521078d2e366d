#include "site/PicturePages.h"

#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora {

std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album) {
    std::vector<PictureEntry> entries;
    StringArray blocks;
    if (SplitText(blocks, text, u"class=\"picture") == 0) return entries;
    entries.reserve(blocks.size() - 1);
    for (std::size_t j = 1; j < blocks.size(); ++j) {
        // The text keeps its entities until the value is cut out.
        std::u16string address = ExtractBetween(blocks[j], u"src=\"", u"\"", EXTRACT_CONSUME);
        DecodeHtmlEntities(address);
        ReplaceAll(address, u"_mthumb", u"");
        entries.push_back({ResolveAddress(album.address, address),
                           FormatText(u"%s (%d)", {album.title, static_cast<std::int64_t>(j)})});
    }
    return entries;
}

}  // namespace lumora

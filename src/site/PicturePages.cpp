#include "site/PicturePages.h"

#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/Address.h"

namespace lumora {

std::vector<PictureEntry> ParsePicturePage(const std::u16string& text, const ST_PERLISTRECORD& album,
                                           const SiteRules& rules) {
    std::vector<PictureEntry> entries;
    StringArray blocks;
    if (SplitText(blocks, text, rules.pictureBlock) == 0) return entries;
    entries.reserve(blocks.size() - 1);
    for (std::size_t j = 1; j < blocks.size(); ++j) {
        // The text keeps its entities until the value is cut out.
        std::u16string address =
            ExtractBetween(blocks[j], rules.pictureAddressBegin, rules.pictureAddressEnd, EXTRACT_CONSUME);
        DecodeHtmlEntities(address);
        if (!rules.thumbnailSuffix.empty()) ReplaceAll(address, rules.thumbnailSuffix, u"");
        entries.push_back({ResolveAddress(album.address, address),
                           FormatText(u"%s (%d)", {album.title, static_cast<std::int64_t>(j)})});
    }
    return entries;
}

}  // namespace lumora

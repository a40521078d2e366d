// The site-rules reader on arbitrary files, and whatever rules it accepts
// applied to the built-in fixture pages and to typed addresses.
#include "fuzz_support.h"
#include "site/AlbumPages.h"
#include "site/PicturePages.h"
#include "site/SiteRules.h"
#include "text/StringCtrl.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    RulesReadResult read = ReadRulesText(text);
    fuzz::Check(read.file.has_value() == read.error.empty(), "a file or a reason, never both");
    if (!read.file) return 0;
    // What is written reads back.
    fuzz::Check(ReadRulesText(WriteRulesText(*read.file)).file.has_value(), "a written file reads back");
    // Rules a user wrote drive the templates and the parsers: nothing may break on them.
    for (RulesFixture& fixture : read.file->fixtures) {
        fixture.page = BuiltInRulesFile().fixtures[fixture.kind == RulesFixture::Kind::ListPage ? 0 : 1].page;
    }
    FirstFixtureFailure(*read.file);
    const SiteRules& rules = read.file->rules;
    for (const char16_t* address :
         {u"http://dp.pconline.com.cn/m/", u"http://x/m/myphoto_p3_n15.html", u"http://x/m/myphoto.html", u""}) {
        const std::u16string pages = NormaliseAlbumAddress(address, rules);
        AlbumListPageAddress(pages, 2, rules);
    }
    const AlbumPage page = ParseAlbumPage(Utf8ToWide(BuiltInRulesFile().fixtures[0].page),
                                          u"http://dp.pconline.com.cn/m/myphoto_p1_n15.html", true, rules);
    fuzz::Check(!page.spaceName.empty(), "a space name is never empty");
    return 0;
}

// The album-list parser on arbitrary page text, and the album list that
// takes its records: titles come out cleaned and unique, so unique folders.
#include "fuzz_support.h"
#include "site/AlbumPages.h"
#include "text/StringCtrl.h"

using namespace lumora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const bool firstPage = in.Byte() & 1;
    const std::u16string text = Utf8ToWide(in.Rest());
    AlbumPage page = ParseAlbumPage(text, u"http://dp.pconline.com.cn/m/myphoto_p1_n15.html", firstPage);
    if (firstPage) fuzz::Check(!page.spaceName.empty(), "the first page always names the space");

    AlbumList albums;
    for (ST_PERLISTRECORD& record : page.albums) albums.Add(std::move(record));
    const std::vector<ST_PERLISTRECORD> all = albums.all();
    for (std::size_t i = 0; i < all.size(); ++i) {
        fuzz::Check(all[i].position == static_cast<std::int32_t>(i), "positions follow page order");
        fuzz::Check(!all[i].title.empty(), "every album has a title");
        fuzz::Check(all[i].title.find_first_of(u"/\\") == std::u16string::npos, "titles are cleaned");
        std::u16string folder = all[i].title;
        CleanFileName(folder, 0, false);
        fuzz::Check(folder == all[i].title, "an album's folder is named by its title as it is");
        for (std::size_t j = 0; j < i; ++j) fuzz::Check(all[i].title != all[j].title, "titles are unique");
    }
    return 0;
}

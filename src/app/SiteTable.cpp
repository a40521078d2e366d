#include "app/SiteTable.h"

#include "site/SiteAdapter.h"

namespace lumora {

namespace {

// The two QQ-family hosts that refine the album kind; both also hold the
// family's main marker, which is why the main marker alone picks site 0.
constexpr std::u16string_view kTencentWeiboMarker = u"t.qq.com";
constexpr std::u16string_view kQqGroupMarker = u"qun.qq.com";

bool MarkerCounts(std::u16string_view text, std::u16string_view marker) {
    // Position 0 is the start of the text, not of a host: it never counts.
    return text.size() > 1 && text.find(marker, 1) != std::u16string_view::npos;
}

}  // namespace

const std::array<SiteEntry, kSiteCount>& SiteTable() {
    static const std::array<SiteEntry, kSiteCount> table = {{
        {u"QQ空间/QQ群/腾讯微博", {u"qq.com/"}},
        {u"百度相册", {u"baidu.com/"}},
        {u"网易相册", {u"163.com/"}},
        {u"人人网相册", {u"renren.com/"}},
        {u"新浪微博相册", {u"sina.com", u"weibo.com/"}},
        {u"56相册", {u"56.com/"}},
        {u"POCO相册", {u"poco.cn/"}},
        {u"又拍相册", {u"yupoo.com/"}},
        {u"51相册", {u"51.com/"}},
        {u"ZOL相册", {u"zol.com.cn/"}},
        {u"PChome相册", {u"pchome.net/"}},
        {u"淘宝/天猫/1688", {u"taobao.com/", u"tmall.com/", u"1688.com"}},
        {u"美空相册", {u"moko.cc/"}},
        {u"宝宝树相册", {u"babytree.com/"}},
        {u"太平洋摄影部落", {u"pconline.com.cn"}},
        {u"虎扑相册", {u"hupu.com/"}},
    }};
    return table;
}

const std::array<const char16_t*, 3>& QqAlbumKindTexts() {
    static const std::array<const char16_t*, 3> texts = {u"QQ空间相册", u"QQ群相册", u"腾讯微博相册"};
    return texts;
}

std::optional<SiteRecognition> RecogniseAddress(std::u16string_view address, int currentSite) {
    if (address.find(u"http://") == std::u16string_view::npos &&
        address.find(u"https://") == std::u16string_view::npos) {
        return std::nullopt;
    }
    SiteRecognition result{currentSite, -1};
    const auto& table = SiteTable();
    for (int site = 0; site < kSiteCount; ++site) {
        bool found = false;
        for (std::u16string_view marker : table[site].markers) found = found || MarkerCounts(address, marker);
        if (found) {
            result.site = site;
            break;
        }
    }
    if (result.site == kQqFamilySite) {
        result.subType = MarkerCounts(address, kTencentWeiboMarker) ? kTencentWeiboAlbum
                         : MarkerCounts(address, kQqGroupMarker)    ? kQqGroupAlbum
                                                                    : kQzoneAlbum;
    }
    return result;
}

int SiteOfAddress(std::u16string_view address) {
    const std::optional<SiteRecognition> found = RecogniseAddress(address, kPhotoCommunitySite);
    return found ? found->site : kPhotoCommunitySite;
}

std::u16string UnsupportedSiteText(int site) {
    const std::u16string name = site >= 0 && site < kSiteCount ? SiteTable()[site].displayName : u"?";
    return u"暂不支持从「" + name + u"」下载，目前只支持" + SiteTable()[kPhotoCommunitySite].displayName;
}

}  // namespace lumora

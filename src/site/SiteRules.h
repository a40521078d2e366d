// What Lumora knows of a site's pages, as data: the markers that cut album
// and picture blocks out of a page and the templates of page addresses. The
// algorithms (cutting, splitting, naming) stay code; a site that changes its
// markup needs a new rules file, not a new program.
//
// A rules file is INI text in UTF-8: a [rules] section of `key = value`
// lines (the value is the rest of the line, blanks at both ends dropped),
// then fixture sections ([fixture NAME]) that say what given pages must
// give. Lines starting with ";" or "#" are comments.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

struct SiteRules {
    std::string site;     // "photo-community"
    std::string version;  // of the rules, not of the program
    std::string date;     // YYYY-MM-DD

    // Album-list page addresses. Any address form a user types becomes a
    // template that carries `placeholder` where the page tag goes.
    std::u16string host;           // the community's host in made addresses
    std::u16string pageTag;        // "_p%d_": page n of a list
    std::u16string placeholder;    // "_dk1stp_"
    std::u16string listingMarker;  // "myphoto.": an address naming the listing page itself
    std::u16string listingFrom;    // ".html", replaced in such an address by
    std::u16string listingTo;      // "_dk1stp_n15.html"
    std::u16string memberMarker;   // ".cn/": the member's id follows it
    std::u16string listTemplate;   // "http://%s/%s/myphoto_dk1stp_n15.html": host, member id
    // Album-list page contents.
    std::u16string nextPage;         // ">下一页</a>"
    std::u16string spaceNameBegin;   // "】"
    std::u16string spaceNameEnd;     // "_太平洋"
    std::u16string spaceNameMember;  // "cn/": the fallback name is the id after it
    std::u16string albumBlock;       // "class=\"picbox"
    std::u16string albumAddressBegin, albumAddressEnd;
    std::u16string albumAddressFrom, albumAddressTo;  // "photo/" becomes "photo/list_"
    std::u16string albumTitleBegin, albumTitleEnd;
    std::u16string albumCoverBegin, albumCoverEnd;
    // Album (picture) page contents.
    std::u16string pictureBlock;  // "class=\"picture"
    std::u16string pictureAddressBegin, pictureAddressEnd;
    std::u16string thumbnailSuffix;  // "_mthumb", removed for the full size
};

// A page and what the rules must make of it.
struct RulesFixture {
    enum class Kind { ListPage, AlbumPage };
    std::string name;  // the section's NAME
    Kind kind = Kind::ListPage;
    std::string pageFile;    // relative to the rules file
    std::string page;        // the page's bytes (UTF-8), once loaded
    std::u16string address;  // the page's own address
    // A list page: whether it is the first, and what it gives.
    bool firstPage = true;
    std::optional<std::u16string> spaceName;
    std::optional<bool> nextPage;
    std::vector<std::pair<std::u16string, std::u16string>> albums;  // address, title
    // An album page: the album it belongs to, and its pictures.
    std::u16string albumTitle;
    std::vector<std::pair<std::u16string, std::u16string>> pictures;  // address, description
};

struct RulesFile {
    SiteRules rules;
    std::vector<RulesFixture> fixtures;
};

// Reads a rules file's text. A missing rule, an unknown key or section, or a
// fixture without its page is an error, named with its line.
struct RulesReadResult {
    std::optional<RulesFile> file;
    std::u16string error;  // when there is no file
};
RulesReadResult ReadRulesText(const std::string& text);

// The rules file's text of `file`, fixtures included (pages by file name).
std::string WriteRulesText(const RulesFile& file);

// Runs every fixture; the first difference ("list：第3个相册的标题应为“A”，得到“B”"),
// or nothing when all pass. `each` (may be null) gets every fixture's result.
std::optional<std::u16string> FirstFixtureFailure(const RulesFile& file,
                                                  std::vector<std::pair<std::string, std::u16string>>* each = nullptr);

// The rules compiled into the program, and their fixtures with their pages.
const RulesFile& BuiltInRulesFile();
inline const SiteRules& BuiltInRules() { return BuiltInRulesFile().rules; }
// The built-in file's own name, and the bytes of every file it is made of
// (the rules file and its fixture pages) by their names.
inline constexpr char kBuiltInRulesName[] = "photo-community.ini";
const std::map<std::string, std::string>& BuiltInRulesFiles();

// The rules every adapter reads now; the built-in ones until others are put in force.
std::shared_ptr<const SiteRules> RulesInForce();
void PutRulesInForce(std::shared_ptr<const SiteRules> rules);

}  // namespace lumora

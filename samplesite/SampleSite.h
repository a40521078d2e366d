// The sample site: made-up members of the photo community, with album-list
// pages, album pages and pictures, served by a TestSite on 127.0.0.1. It lets
// a newcomer run the whole program offline and gives benchmarks content.
//
// Everything is generated from the options, deterministically: the same
// options give the same pages and the same picture bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "testsite/TestSite.h"

namespace lumora::samplesite {

inline constexpr const char* kCommunityHost = "dp.pconline.com.cn";
inline constexpr const char* kPictureHost = "img.pconline.com.cn";

// A member that tries how a client bounds its memory and disk. The large
// bodies are made as they are sent (the bomb is a thousandth of what it
// inflates to), so the site itself stays small. The pages but the large one
// say they are gzip, whatever the request accepts.
enum class Hostile {
    None,
    Bomb,          // album-list page 1 is gzip that inflates to hostileBytes (2 GB), sent in about 1/1000 of that
    LargePage,     // album-list page 1 is hostileBytes (150 MB) of HTML, sent plain with its Content-Length
    HugePictures,  // album 1's full-size pictures are JPEGs of hostileBytes (1 GB), with their Content-Length
    GzipTail,      // album-list page 1 is a short gzip page with hostileBytes (150 MB) of other bytes after it
    Endless,       // album 1's full-size pictures are a JPEG start and bytes that never end, without a length
};

// One answer of the picture host, as it ended.
struct PictureAnswer {
    std::string host, path;
    int status = 0;
    std::uint64_t bodyBytes = 0;  // handed to the connection, a piece at most 16 KB more than the client took
    std::chrono::steady_clock::time_point start;  // when the request was read
    std::chrono::steady_clock::time_point end;    // when the site was done with the answer
};

struct SampleSiteOptions {
    std::string memberId = "lumora_demo";
    std::string spaceName = "Lumora演示空间";  // UTF-8; the album-list page title carries it
    // Which member of the site this is, from 1. It picks the album and picture
    // ids and the artwork, so that members of one site share no address and
    // no picture bytes; member 1 has the ids it always had.
    int memberNumber = 1;
    // The member a while later: one more album, made last and listed first,
    // and one more picture at the end of its first album. Everything else,
    // other albums' pages and every earlier picture, stays byte for byte.
    bool grown = false;
    int albumCount = 40;
    int albumsPerPage = 15;
    int picturesPerAlbum = 0;              // 0: between 3 and 12, varying by album
    std::size_t pictureBytes = 20 * 1024;  // full-size pictures, approximately
    int latencyMs = 0;                     // before the first byte of every answer
    std::size_t bytesPerSecond = 0;        // per connection; 0 = unlimited
    bool gzipPages = true;                 // when the request accepts gzip
    bool gbkPages = false;                 // GBK with "charset=GBK" instead of UTF-8

    // Transient faults, by a full picture's 1-based position among all the
    // member's pictures; 0 = none. Each fault hits a picture's first answer
    // only, so a client that tries again gets it whole. A picture matching
    // both gets the 503 first, then the cut answer, then its bytes.
    int failEvery = 0;  // every N-th picture: a plain "503 Service Unavailable"
    int dropEvery = 0;  // every N-th picture: the right Content-Length, the connection closed halfway
    int dropFrom = 0;   // the first cut picture, then every dropEvery-th after it; 0: dropEvery itself
    // Every N-th picture, on every answer, at trickleBytesPerSecond with its
    // full Content-Length: only a client's low-speed rule ends it.
    int trickleEvery = 0;
    std::size_t trickleBytesPerSecond = 100;
    int faultsUpto = 0;  // no fault or trickle for pictures after this position; 0: no bound

    // Full-size picture answers being made or sent at once, over all the
    // site's members; a request beyond it is answered "429 Too Many
    // Requests" with "Retry-After: 1" at once. 0: no limit.
    int concurrencyLimit = 0;

    Hostile hostile = Hostile::None;
    std::uint64_t hostileBytes = 0;  // 0: the size given with each shape above

    // Called for every request the sample member answers, on the site's
    // threads, possibly several at once.
    std::function<void(const testsite::Request&)> onRequest;
    // Called for every answer of the picture host once the site is done with
    // it (last byte sent, or the client gone), on the site's threads.
    std::function<void(const PictureAnswer&)> onPictureAnswer;

    // Shapes for benchmarks.
    static SampleSiteOptions OneAlbum(int pictures);
    static SampleSiteOptions ManyAlbums(int albums, int picturesEach);
};

enum class PictureFormat { Jpeg, Png };

struct SamplePicture {
    std::string address;           // full size
    std::string thumbnailAddress;  // as the album page lists it, with "_mthumb"
    PictureFormat format;          // of the bytes; the address's extension may say otherwise
    int position = 0;              // 1-based among the member's pictures as made; faults go by it
};

struct SampleAlbum {
    // 1-based, in the order made: the list order, but for a grown member's
    // newest album (albumCount + 1), which is listed first.
    int number = 0;
    std::string id;
    std::string title;               // UTF-8, as shown (entities decoded)
    std::string address;             // as listed: http://<host>/photo/<id>.html
    std::string pictureListAddress;  // http://<host>/photo/list_<id>.html
    std::string coverAddress;        // as written in the page; some are protocol-relative
    std::vector<SamplePicture> pictures;
};

struct SampleCatalog {
    SampleSiteOptions options;
    std::vector<SampleAlbum> albums;

    int pageCount() const;                        // at least 1
    std::string memberSpaceAddress() const;       // http://<host>/<member>/
    std::string albumPageAddress() const;         // http://<host>/<member>/myphoto.html
    std::string listPageAddress(int page) const;  // http://<host>/<member>/myphoto_p<page>_n15.html
};

SampleCatalog BuildSampleCatalog(const SampleSiteOptions& options = {});

// Routes every page and picture of the sample member on `site` and returns
// the catalog. The routes hold what they serve; the catalog is only a copy.
// Pictures are made on first request and kept.
SampleCatalog RegisterSampleSite(testsite::TestSite& site, const SampleSiteOptions& options = {});

// `count` members of the same shape on one site: the first as `options` has
// it, member N (from 2) with N after its member id and space name
// (lumora_demo2, Lumora演示空间2). Only the first one is grown, if any. The
// concurrency limit counts the pictures of all of them together.
std::vector<SampleCatalog> RegisterSampleMembers(testsite::TestSite& site, const SampleSiteOptions& options,
                                                 int count);

}  // namespace lumora::samplesite

#include "samplesite/SampleSite.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>

#include "samplesite/SamplePictures.h"
#include "text/StringCtrl.h"

namespace lumora::samplesite {

using testsite::BodyEncoding;
using testsite::Request;
using testsite::Response;
using testsite::TestSite;

namespace {

// The first albums' titles, with the cases worth exercising: the same title
// three times (and another twice, across pages), an entity, plain ASCII.
constexpr const char* kTitles[] = {
    "春日花园", "海边日出", "城市夜色", "光与影 & 城市", "老街旧事",   "春日花园",     "山间云雾", "Portraits 2014",
    "秋叶",     "古镇水乡", "雪后初晴", "花园里的猫",    "微距世界",   "人像练习",     "黄山行",   "胶片时光",
    "春日花园", "西湖十景", "草原牧歌", "城市夜色",      "星空与银河", "咖啡馆的午后", "雨中漫步", "候鸟"};
constexpr int kFirstAlbumId = 3601000;
constexpr int kFirstPictureId = 51870000;
constexpr const char* kPhotoPath = "/images/photoblog/";

std::string escapeHtml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string albumTitle(int number) {
    constexpr int kNamed = static_cast<int>(std::size(kTitles));
    if (number <= kNamed) return kTitles[number - 1];
    return "风光小品 第" + std::to_string(number - kNamed) + "组";
}

int pictureCountFor(const SampleSiteOptions& options, int number) {
    if (options.picturesPerAlbum > 0) return options.picturesPerAlbum;
    return 3 + (number * 7 + 3) % 10;  // 3..12, every value within ten albums
}

// Where a member's album and picture ids start. Each member has room for its
// grown self, so that growing one member moves no id of another, and member 1
// starts at 0, with the ids of a site of one member.
struct MemberIds {
    std::int64_t firstAlbum = 0;    // album number 1 is the next one
    std::int64_t firstPicture = 0;  // its first picture's sequence
};

MemberIds memberIds(const SampleSiteOptions& options) {
    std::int64_t pictures = 1;  // the grown first album's extra picture
    for (int number = 1; number <= options.albumCount + 1; ++number) pictures += pictureCountFor(options, number);
    const std::int64_t before = std::max(1, options.memberNumber) - 1;
    return {before * (options.albumCount + 1), before * pictures};
}

std::string communityAddress(const std::string& path) { return std::string("http://") + kCommunityHost + path; }

std::string pictureHostPath(const std::string& albumId, const std::string& name) {
    return kPhotoPath + albumId + "/" + name;
}

std::string pathOf(const std::string& address) {
    auto scheme = address.find("//");
    auto slash = address.find('/', scheme == std::string::npos ? 0 : scheme + 2);
    return slash == std::string::npos ? "/" : address.substr(slash);
}

// --- Markup -------------------------------------------------------------------

std::string pageHead(const SampleSiteOptions& options, const std::string& title) {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
           std::string(options.gbkPages ? "gbk" : "utf-8") + "\" />\n<title>" + title + "</title>\n</head>\n<body>\n";
}

std::string pageFoot() {
    return "<div class=\"footer\"><p>本页面由 Lumora 示例站点生成，内容纯属虚构。</p>"
           "<p><a href=\"http://dp.pconline.com.cn/\">首页</a> | <a "
           "href=\"http://dp.pconline.com.cn/help.html\">帮助</a></p>"
           "</div>\n</body>\n</html>\n";
}

std::string albumListPage(const SampleCatalog& catalog, int page) {
    const auto& options = catalog.options;
    const std::string space = escapeHtml(options.spaceName);
    // The program takes the space name from between "】" and "_太平洋".
    std::string html = pageHead(options, "【相册列表】" + space + "_太平洋摄影部落");
    html += "<div class=\"nav\"><a href=\"http://dp.pconline.com.cn/\">摄影部落</a> &gt; <a href=\"" +
            catalog.memberSpaceAddress() + "\">" + space + "</a> &gt; 相册</div>\n";
    html += "<div class=\"album-list\">\n<ul>\n";
    const int first = (page - 1) * options.albumsPerPage;
    const int last = std::min<int>(first + options.albumsPerPage, static_cast<int>(catalog.albums.size()));
    for (int i = first; i < last; ++i) {
        const SampleAlbum& album = catalog.albums[i];
        const std::string title = escapeHtml(album.title);
        html += "<li>\n<div class=\"picbox\"><a href=\"" + album.address + "\" title=\"" + title +
                "\" target=\"_blank\"><img src=\"" + album.coverAddress + "\" width=\"160\" height=\"120\" alt=\"" +
                title + "\" /></a></div>\n";
        html += "<p class=\"album-name\"><a href=\"" + album.address + "\" target=\"_blank\">" + title + "</a></p>\n";
        html += "<p class=\"album-info\">" + std::to_string(album.pictures.size()) + "张 | 浏览 " +
                std::to_string(album.number * 37 % 500 + 12) + "</p>\n</li>\n";
    }
    html += "</ul>\n</div>\n<div class=\"pager\">";
    const int pages = catalog.pageCount();
    if (page > 1) html += "<a href=\"" + catalog.listPageAddress(page - 1) + "\">上一页</a> ";
    for (int p = 1; p <= pages; ++p)
        html += p == page ? "<span class=\"current\">" + std::to_string(p) + "</span> "
                          : "<a href=\"" + catalog.listPageAddress(p) + "\">" + std::to_string(p) + "</a> ";
    if (page < pages)
        html += "<a href=\"" + catalog.listPageAddress(page + 1) + "\" class=\"next\">下一页</a>";
    else
        html += "<span class=\"disabled\">下一页</span>";
    html += "</div>\n" + pageFoot();
    return html;
}

std::string albumPage(const SampleCatalog& catalog, const SampleAlbum& album) {
    const std::string space = escapeHtml(catalog.options.spaceName);
    const std::string title = escapeHtml(album.title);
    std::string html = pageHead(catalog.options, title + "_" + space + "的相册_太平洋摄影部落");
    html += "<div class=\"nav\"><a href=\"" + catalog.memberSpaceAddress() + "\">" + space + "</a> &gt; " + title +
            "</div>\n<div class=\"album-head\"><h1>" + title + "</h1><span class=\"count\">共" +
            std::to_string(album.pictures.size()) + "张</span></div>\n<ul class=\"photo-list\">\n";
    int j = 0;
    for (const SamplePicture& picture : album.pictures) {
        const std::string caption = title + " 第" + std::to_string(++j) + "张";
        html += "<li><div class=\"picture\"><a href=\"" + album.address + "#p" + std::to_string(j) +
                "\" target=\"_blank\"><img src=\"" + picture.thumbnailAddress +
                "\" width=\"160\" height=\"120\" alt=\"" + caption + "\" /></a></div><p class=\"caption\">" + caption +
                "</p></li>\n";
    }
    html += "</ul>\n" + pageFoot();
    return html;
}

// --- Hostile bodies -------------------------------------------------------------

constexpr std::uint64_t kMiB = 1024 * 1024;

std::uint64_t hostileSize(const SampleSiteOptions& options) {
    if (options.hostileBytes > 0) return options.hostileBytes;
    switch (options.hostile) {
    case Hostile::Bomb: return 2048 * kMiB;
    case Hostile::LargePage:
    case Hostile::GzipTail: return 150 * kMiB;
    case Hostile::HugePictures: return 1024 * kMiB;
    case Hostile::Endless:
    case Hostile::None: break;
    }
    return 0;
}

// A head, a block many times over and a tail, made up piece by piece as
// they are sent.
struct RepeatedBody {
    std::string head, block, tail;
    std::uint64_t count = 0;

    std::uint64_t size() const { return head.size() + block.size() * count + tail.size(); }

    void fill(std::uint64_t offset, char* out, std::size_t size) const {
        const std::uint64_t middle = block.size() * count;
        while (size > 0) {
            std::string_view part = head;
            std::uint64_t at = offset;
            if (offset >= head.size() && offset - head.size() < middle) {
                part = block;
                at = (offset - head.size()) % block.size();
            } else if (offset >= head.size()) {
                part = tail;
                at = offset - head.size() - middle;
            }
            if (at >= part.size()) return;  // past the end: nothing to make
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, part.size() - at));
            std::memcpy(out, part.data() + at, n);
            out += n;
            offset += n;
            size -= n;
        }
    }
};

// Raw deflate blocks of `data` ending on a full flush: byte-aligned and free
// of references to anything before, so such pieces can be strung together.
std::string deflateFlushed(const std::string& data) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&zs, data.size()) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&zs, Z_FULL_FLUSH);
    const bool whole = rc == Z_OK && zs.avail_in == 0 && zs.avail_out > 0;
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (!whole) throw std::runtime_error("deflate failed");
    return out;
}

void putLittle32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += char(value >> (8 * i) & 0xFF);
}

// A gzip body that inflates to about `size` bytes: the page, then spaces.
// Deflate packs a mebibyte of one byte into about a kilobyte, and that
// kilobyte, compressed once, is repeated as often as needed.
std::string gzipBomb(const std::string& page, std::uint64_t size) {
    const std::string spaces(kMiB, ' ');
    const std::uint64_t runs = size > page.size() ? (size - page.size()) / kMiB : 0;
    const std::string run = deflateFlushed(spaces);
    const uLong runCrc = crc32(0, reinterpret_cast<const Bytef*>(spaces.data()), static_cast<uInt>(spaces.size()));
    std::string out("\x1f\x8b\x08\0\0\0\0\0\x02\x03", 10);
    out += deflateFlushed(page);
    out.reserve(out.size() + run.size() * runs + 10);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(page.data()), static_cast<uInt>(page.size()));
    for (std::uint64_t i = 0; i < runs; ++i) {
        out += run;
        crc = crc32_combine(crc, runCrc, static_cast<z_off_t>(kMiB));
    }
    out += std::string("\x03\0", 2);  // an empty last block
    putLittle32(out, static_cast<std::uint32_t>(crc));
    putLittle32(out, static_cast<std::uint32_t>(page.size() + runs * kMiB));  // modulo 2^32, as gzip has it
    return out;
}

// The page, then HTML comments of filler up to exactly `size` bytes.
RepeatedBody largePage(const std::string& page, std::uint64_t size) {
    auto comment = [](std::size_t bytes, std::uint32_t seed) {
        return bytes < 8 ? std::string(bytes, '\n') : "<!--" + FillerBytes(bytes - 8, seed) + "-->\n";
    };
    RepeatedBody body;
    body.head = page;
    body.block = comment(64 * 1024, 1);
    const std::uint64_t rest = size > page.size() ? size - page.size() : 0;
    body.count = rest / body.block.size();
    body.tail = comment(static_cast<std::size_t>(rest % body.block.size()), 2);
    return body;
}

// The page gzipped, then filler that is no part of the gzip stream.
RepeatedBody gzipTail(const std::string& page, std::uint64_t size) {
    RepeatedBody body = largePage(std::string(), size);
    body.head = testsite::GzipCompress(page);
    return body;
}

// The picture padded to exactly `size` bytes with comment segments after its
// start of image and JFIF header, where the encoder pads.
RepeatedBody hugeJpeg(const std::string& jpeg, std::uint64_t size, std::uint32_t seed) {
    RepeatedBody body;
    body.head = jpeg.substr(0, kJpegHeadBytes);
    body.block = JpegCommentSegments(4 + 65533, seed);
    const std::uint64_t padding = size > jpeg.size() ? size - jpeg.size() : 0;
    body.count = padding / body.block.size();
    std::uint64_t rest = padding % body.block.size();
    if (rest > 0 && rest < 4 && body.count > 0) {
        --body.count;
        rest += body.block.size();
    }
    body.tail = JpegCommentSegments(rest, seed + 1) + jpeg.substr(kJpegHeadBytes);
    return body;
}

// A JPEG's start, then comment segments on and on: more than any client
// will read, made as it is sent.
RepeatedBody endlessJpeg(const std::string& jpeg, std::uint32_t seed) {
    RepeatedBody body;
    body.head = jpeg.substr(0, kJpegHeadBytes);
    body.block = JpegCommentSegments(4 + 65533, seed);
    body.count = (std::uint64_t{1} << 62) / body.block.size();
    return body;
}

// --- Serving --------------------------------------------------------------------

// One picture's bytes, made the first time they are asked for.
struct PictureSource {
    int albumNumber = 0;
    int pictureNumber = 0;  // 0: the album's cover
    bool full = false;
    PictureFormat format = PictureFormat::Jpeg;
    std::string contentType;
    bool failFirst = false;  // the first answer is a 503
    bool dropFirst = false;  // the first full answer is cut halfway

    bool trickle = false;  // every answer at the trickle rate
    bool huge = false;     // made as it is sent, hostileBytes long
    bool endless = false;  // made as it is sent, without end or length

    std::once_flag made;
    std::string bytes;
    std::shared_ptr<const RepeatedBody> hugeBody;
    std::atomic<int> answers{0};  // counted only when a fault is due
};

// An answer of the picture host, held by the answer itself until the site
// is done writing it, so that it ends after its last byte went out, its
// waits and pauses included, or when the client went away.
struct AnswerFollower {
    std::shared_ptr<std::atomic<int>> sending;  // holds a place there; null: counted nowhere
    std::function<void(const PictureAnswer&)> onAnswer;
    PictureAnswer answer;
    std::atomic<std::uint64_t> made{0};  // body bytes made for sending so far

    AnswerFollower() = default;
    AnswerFollower(const AnswerFollower&) = delete;
    AnswerFollower& operator=(const AnswerFollower&) = delete;
    ~AnswerFollower() {
        if (sending) sending->fetch_sub(1);
        if (!onAnswer) return;
        answer.end = std::chrono::steady_clock::now();
        answer.bodyBytes = made.load();
        try {
            onAnswer(answer);
        } catch (...) {
            // The site's connection thread must not end for a log line.
        }
    }
};

// Pieces every 20 ms or so, at least a byte each.
void pace(Response& response, std::size_t bytesPerSecond) {
    response.chunkSize = std::max<std::size_t>(1, bytesPerSecond / 50);
    response.chunkDelay =
        std::chrono::milliseconds(std::max<std::size_t>(1, response.chunkSize * 1000 / bytesPerSecond));
}

struct SiteState {
    SampleSiteOptions options;
    // Full-size picture answers under way, shared by all members of the site.
    std::shared_ptr<std::atomic<int>> sending;

    void shape(Response& response) const {
        response.delayBeforeHeaders = std::chrono::milliseconds(options.latencyMs);
        if (options.bytesPerSecond > 0) pace(response, options.bytesPerSecond);
    }

    Response page(const Request& request, const std::string& body) const {
        Response response =
            Response::Text(body, options.gbkPages ? "text/html; charset=GBK" : "text/html; charset=utf-8");
        response.Header("Vary", "Accept-Encoding");
        std::string accepted = request.header("Accept-Encoding");
        std::transform(accepted.begin(), accepted.end(), accepted.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        if (options.gzipPages && accepted.find("gzip") != std::string::npos) {
            response.encoding = BodyEncoding::Gzip;
            response.Header("Content-Encoding", "gzip");
        }
        shape(response);
        return response;
    }

    void note(const Request& request) const {
        if (options.onRequest) options.onRequest(request);
    }

    Response picture(PictureSource& source, const Request& request) const {
        const bool limited = source.full && options.concurrencyLimit > 0;
        if (!limited && !options.onPictureAnswer) return pictureAnswer(source);
        auto follower = std::make_shared<AnswerFollower>();
        follower->onAnswer = options.onPictureAnswer;
        follower->answer.host = request.host;
        follower->answer.path = request.path;
        follower->answer.start = std::chrono::steady_clock::now();
        if (limited) {
            // Taken before the answer is made: two requests never both get the last place.
            if (sending->fetch_add(1) >= options.concurrencyLimit) {
                sending->fetch_sub(1);
                // At once, without the latency: turned away before any work on it.
                Response busy = Response::Status(429, "Too many pictures at once; try again in a second.\n");
                busy.Header("Content-Type", "text/plain").Header("Retry-After", "1");
                follow(busy, std::move(follower));
                return busy;
            }
            follower->sending = sending;
        }
        Response response = pictureAnswer(source);
        follow(response, std::move(follower));
        return response;
    }

    // Hands the answer's body to the site piece by piece through `follower`,
    // which the answer then holds to its end. Pieces of at most 16 KB keep
    // the count of bytes sent close when a client goes away mid-way.
    static void follow(Response& response, std::shared_ptr<AnswerFollower> follower) {
        follower->answer.status = response.status;
        auto fill = std::move(response.streamedBody);
        if (!fill) {
            // Picture-host answers are never compressed: the body goes out as it is.
            auto body = std::make_shared<const std::string>(std::move(response.body));
            response.body.clear();
            response.streamedLength = body->size();
            fill = [body](std::uint64_t offset, char* out, std::size_t size) {
                std::memcpy(out, body->data() + offset, size);
            };
        }
        response.streamedBody = [fill = std::move(fill), follower = std::move(follower)](std::uint64_t offset,
                                                                                         char* out, std::size_t size) {
            fill(offset, out, size);
            follower->made.store(offset + size);
        };
        if (response.chunkSize == 0) response.chunkSize = 16 * 1024;
    }

    Response pictureAnswer(PictureSource& source) const {
        // The answer's number decides its fault; taking it atomically keeps
        // each fault to one answer when the first requests come together.
        int answer = source.failFirst || source.dropFirst ? source.answers.fetch_add(1) : -1;
        if (source.failFirst) {
            if (answer == 0) {
                Response response = Response::Status(503, "Service Unavailable");
                shape(response);
                return response;
            }
            --answer;  // a cut answer, if due, is the one after the 503
        }
        std::call_once(source.made, [&] {
            const bool large = options.pictureBytes >= 96 * 1024;
            const int width = source.full ? (large ? 640 : 320) : 160;
            const RgbImage image = DrawSamplePicture(source.albumNumber, source.pictureNumber, width, width * 3 / 4);
            const std::uint32_t seed = static_cast<std::uint32_t>(source.albumNumber * 1000 + source.pictureNumber);
            if (source.huge) {
                source.hugeBody =
                    std::make_shared<const RepeatedBody>(hugeJpeg(EncodeJpeg(image, 85), hostileSize(options), seed));
                return;
            }
            if (source.endless) {
                source.hugeBody = std::make_shared<const RepeatedBody>(endlessJpeg(EncodeJpeg(image, 85), seed));
                return;
            }
            const std::size_t padTo = source.full ? options.pictureBytes : 0;
            source.bytes = source.format == PictureFormat::Png ? EncodePng(image, padTo) : EncodeJpeg(image, 85, padTo);
        });
        Response response = Response::Text(source.bytes, source.contentType);
        if (source.hugeBody) streamBody(response, source.hugeBody);
        // Delimited by the connection's close, which never comes from the site.
        if (source.endless) response.announceLength = false;
        response.Header("Cache-Control", "max-age=2592000");
        shape(response);
        if (source.trickle) pace(response, std::max<std::size_t>(1, options.trickleBytesPerSecond));
        const std::uint64_t size = source.hugeBody ? source.hugeBody->size() : source.bytes.size();
        if (source.dropFirst && answer == 0) response.dropAfterBytes = static_cast<std::size_t>(size / 2);
        return response;
    }

    static void streamBody(Response& response, std::shared_ptr<const RepeatedBody> body) {
        response.streamedLength = body->size();
        response.streamedBody = [body = std::move(body)](std::uint64_t offset, char* out, std::size_t size) {
            body->fill(offset, out, size);
        };
    }

    // A hostile first list page, said to be gzip (but for the large page)
    // whatever the request accepts: the bomb, or a body made as it is sent.
    Response hostilePage(const std::shared_ptr<const std::string>& bomb,
                         const std::shared_ptr<const RepeatedBody>& streamed) const {
        Response response = Response::Text(bomb ? *bomb : std::string(),
                                           options.gbkPages ? "text/html; charset=GBK" : "text/html; charset=utf-8");
        if (options.hostile != Hostile::LargePage) response.Header("Content-Encoding", "gzip");
        if (streamed) streamBody(response, streamed);
        shape(response);
        return response;
    }
};

std::string encodePage(const SampleSiteOptions& options, const std::string& utf8) {
    return options.gbkPages ? WideToGbk(Utf8ToWide(utf8)) : utf8;
}

}  // namespace

SampleSiteOptions SampleSiteOptions::OneAlbum(int pictures) {
    SampleSiteOptions options;
    options.albumCount = 1;
    options.picturesPerAlbum = pictures;
    return options;
}

SampleSiteOptions SampleSiteOptions::ManyAlbums(int albums, int picturesEach) {
    SampleSiteOptions options;
    options.albumCount = albums;
    options.picturesPerAlbum = picturesEach;
    return options;
}

int SampleCatalog::pageCount() const {
    const int perPage = std::max(1, options.albumsPerPage);
    return std::max<int>(1, (static_cast<int>(albums.size()) + perPage - 1) / perPage);
}

std::string SampleCatalog::memberSpaceAddress() const { return communityAddress("/" + options.memberId + "/"); }

std::string SampleCatalog::albumPageAddress() const {
    return communityAddress("/" + options.memberId + "/myphoto.html");
}

std::string SampleCatalog::listPageAddress(int page) const {
    return communityAddress("/" + options.memberId + "/myphoto_p" + std::to_string(page) + "_n15.html");
}

SampleCatalog BuildSampleCatalog(const SampleSiteOptions& options) {
    SampleCatalog catalog;
    catalog.options = options;
    catalog.options.albumsPerPage = std::max(1, options.albumsPerPage);
    catalog.options.memberNumber = std::max(1, options.memberNumber);
    const MemberIds ids = memberIds(catalog.options);
    int sequence = 0;  // the member's pictures, in the order made
    auto addPictures = [&](SampleAlbum& album, int count) {
        for (int j = 0; j < count; ++j, ++sequence) {
            // Mostly JPEG, every sixth a PNG, and the member's second picture
            // a PNG behind a ".jpg" name, as uploads sometimes are. Huge ones
            // are all JPEG: comment segments pad them without a checksum.
            const bool huge =
                (options.hostile == Hostile::HugePictures || options.hostile == Hostile::Endless) && album.number == 1;
            const bool png = !huge && (sequence == 1 || sequence % 6 == 4);
            const std::string stem =
                std::string("http://") + kPictureHost +
                pictureHostPath(album.id, std::to_string(kFirstPictureId + (ids.firstPicture + sequence) * 3));
            const std::string extension = png && sequence != 1 ? ".png" : ".jpg";
            album.pictures.push_back({stem + extension, stem + "_mthumb" + extension,
                                      png ? PictureFormat::Png : PictureFormat::Jpeg, sequence + 1});
        }
    };
    auto makeAlbum = [&](int number) {
        SampleAlbum album;
        album.number = number;
        album.id = std::to_string(kFirstAlbumId + (ids.firstAlbum + number) * 13);
        album.title = albumTitle(number);
        album.address = communityAddress("/photo/" + album.id + ".html");
        album.pictureListAddress = communityAddress("/photo/list_" + album.id + ".html");
        // Every third cover is written without a scheme, as the community does.
        const std::string cover =
            std::string("//") + kPictureHost + pictureHostPath(album.id, "cover_" + album.id + ".jpg");
        album.coverAddress = number % 3 == 0 ? cover : "http:" + cover;
        addPictures(album, pictureCountFor(options, number));
        return album;
    };
    for (int number = 1; number <= options.albumCount; ++number) catalog.albums.push_back(makeAlbum(number));
    if (options.grown) {
        // Made after everything else, so that no earlier id moves.
        SampleAlbum newest = makeAlbum(options.albumCount + 1);
        if (!catalog.albums.empty()) addPictures(catalog.albums.front(), 1);
        catalog.albums.insert(catalog.albums.begin(), std::move(newest));
    }
    return catalog;
}

namespace {

SampleCatalog registerMember(TestSite& site, const SampleSiteOptions& options,
                             std::shared_ptr<std::atomic<int>> sending) {
    SampleCatalog catalog = BuildSampleCatalog(options);
    auto state = std::make_shared<SiteState>();
    state->options = catalog.options;
    state->sending = std::move(sending);

    const std::string member = "/" + options.memberId + "/";
    // Routes start answering as soon as they are added, so each keeps its own body.
    auto addPage = [&](const std::string& path, const std::string& utf8) {
        auto body = std::make_shared<const std::string>(encodePage(options, utf8));
        site.route(kCommunityHost, path, [state, body](const Request& request) {
            state->note(request);
            return state->page(request, *body);
        });
    };
    const bool hostilePage = options.hostile != Hostile::None && options.hostile != Hostile::HugePictures &&
                             options.hostile != Hostile::Endless;
    for (int page = 1; page <= catalog.pageCount(); ++page) {
        const std::string html = albumListPage(catalog, page);
        std::vector<std::string> paths{pathOf(catalog.listPageAddress(page))};
        if (page == 1) {
            // The member's space and its album page show the first list page too.
            paths.push_back(member);
            paths.push_back(pathOf(catalog.albumPageAddress()));
        }
        if (page > 1 || !hostilePage) {
            for (const std::string& path : paths) addPage(path, html);
            continue;
        }
        const std::string encoded = encodePage(options, html);
        std::shared_ptr<const std::string> bomb;
        std::shared_ptr<const RepeatedBody> streamed;
        if (options.hostile == Hostile::Bomb)
            bomb = std::make_shared<const std::string>(gzipBomb(encoded, hostileSize(options)));
        else if (options.hostile == Hostile::LargePage)
            streamed = std::make_shared<const RepeatedBody>(largePage(encoded, hostileSize(options)));
        else
            streamed = std::make_shared<const RepeatedBody>(gzipTail(encoded, hostileSize(options)));
        for (const std::string& path : paths) {
            site.route(kCommunityHost, path, [state, bomb, streamed](const Request& request) {
                state->note(request);
                return state->hostilePage(bomb, streamed);
            });
        }
    }

    // Faults go by a full picture's position among all the member's pictures.
    auto every = [](int n, int position, int from) {
        return n > 0 && position >= from && from > 0 && (position - from) % n == 0;
    };
    auto faultable = [&](int position) {
        return position > 0 && (options.faultsUpto <= 0 || position <= options.faultsUpto);
    };
    const int dropFrom = options.dropFrom > 0 ? options.dropFrom : options.dropEvery;
    // The artwork goes by the album's number across the site's members, so
    // that no two members' pictures are alike.
    const std::int64_t firstAlbum = memberIds(catalog.options).firstAlbum;
    auto addPicture = [&](const std::string& address, int album, int picture, int position, PictureFormat format) {
        const bool full = position > 0;
        auto source = std::make_shared<PictureSource>();
        source->albumNumber = static_cast<int>(firstAlbum + album);
        source->pictureNumber = picture;
        source->full = full;
        source->format = format;
        source->huge = full && album == 1 && options.hostile == Hostile::HugePictures;
        source->endless = full && album == 1 && options.hostile == Hostile::Endless;
        source->failFirst = faultable(position) && every(options.failEvery, position, options.failEvery);
        source->dropFirst = faultable(position) && every(options.dropEvery, position, dropFrom);
        source->trickle = faultable(position) && every(options.trickleEvery, position, options.trickleEvery);
        // By the name's extension, as a plain file server answers.
        source->contentType = address.ends_with(".png") ? "image/png" : "image/jpeg";
        site.route(kPictureHost, pathOf(address), [state, source](const Request& request) {
            state->note(request);
            return state->picture(*source, request);
        });
    };
    for (const SampleAlbum& album : catalog.albums) {
        const std::string html = albumPage(catalog, album);
        addPage(pathOf(album.pictureListAddress), html);
        addPage(pathOf(album.address), html);
        addPicture(album.coverAddress, album.number, 0, 0, PictureFormat::Jpeg);
        int j = 0;
        for (const SamplePicture& picture : album.pictures) {
            ++j;
            addPicture(picture.address, album.number, j, picture.position, picture.format);
            addPicture(picture.thumbnailAddress, album.number, j, 0, picture.format);
        }
    }
    return catalog;
}

}  // namespace

SampleCatalog RegisterSampleSite(TestSite& site, const SampleSiteOptions& options) {
    return registerMember(site, options, std::make_shared<std::atomic<int>>(0));
}

std::vector<SampleCatalog> RegisterSampleMembers(TestSite& site, const SampleSiteOptions& options, int count) {
    auto sending = std::make_shared<std::atomic<int>>(0);
    std::vector<SampleCatalog> catalogs;
    for (int number = 1; number <= count; ++number) {
        SampleSiteOptions member = options;
        member.memberNumber = number;
        if (number > 1) {
            member.memberId += std::to_string(number);
            member.spaceName += std::to_string(number);
            member.grown = false;
        }
        catalogs.push_back(registerMember(site, member, sending));
    }
    return catalogs;
}

}  // namespace lumora::samplesite

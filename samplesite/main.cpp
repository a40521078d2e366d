// lumora-sample-site: plays sample members of the photo community on
// 127.0.0.1, so the whole program can be tried without the internet.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "LumoraVersion.h"
#include "samplesite/Replay.h"
#include "samplesite/SampleSite.h"

namespace {

constexpr const char* kProgram = "lumora-sample-site";

constexpr const char* kUsage =
    "Usage: lumora-sample-site [OPTION]...\n"
    "\n"
    "Serves sample members of the photo community on 127.0.0.1 until interrupted.\n"
    "Point http_proxy at it to reach it under the community's own addresses.\n"
    "\n"
    "Options:\n"
    "  --port N            listen on port N (default 0: any free port)\n"
    "  --latency MS        wait MS milliseconds before every answer (default 0)\n"
    "  --members N         serve N members of the same shape (default 1): lumora_demo/,\n"
    "                      then lumora_demo2/, lumora_demo3/ ... (at most 1000), which\n"
    "                      share no album, picture address or picture bytes\n"
    "  --albums N          number of albums of every member (default 40, 15 to a page)\n"
    "  --pictures N        pictures in every album (default 3 to 12, varying)\n"
    "  --grown             the first member a while later: one more album, listed first,\n"
    "                      and one more picture at the end of its first album; all else\n"
    "                      (addresses, other albums' pages, picture bytes) as without it\n"
    "  --size KB           approximate size of a full picture (default 20)\n"
    "  --bandwidth KB      send at most KB kilobytes a second per connection\n"
    "                      (default 0: no limit)\n"
    "  --gbk               serve pages as GBK instead of UTF-8\n"
    "  --fail-every N      answer the first request for every N-th picture (counted over\n"
    "                      a member's albums) with \"503 Service Unavailable\" (default 0:\n"
    "                      never)\n"
    "  --drop-every N      cut the first answer for every N-th picture halfway, after the\n"
    "                      full Content-Length (default 0: never). Later requests get a\n"
    "                      picture whole; one picked by both fails with the 503, then is\n"
    "                      cut, then comes whole\n"
    "  --drop-from K       with --drop-every N, cut pictures K, K+N, K+2N ... instead of\n"
    "                      N, 2N, 3N ... (default: N)\n"
    "  --trickle-every N   send every N-th picture at --trickle-rate on every request,\n"
    "                      with its full Content-Length, so that only a client's\n"
    "                      low-speed rule ends it (default 0: never)\n"
    "  --trickle-rate B    bytes a second of a trickled picture (default 100)\n"
    "  --faults-upto P     no 503, cut or trickle for pictures after the P-th\n"
    "                      (default 0: no bound)\n"
    "  --concurrency-limit N\n"
    "                      answer a full-size picture request that comes while N such\n"
    "                      answers are under way (over all connections and members,\n"
    "                      from request to last byte sent) with \"429 Too Many\n"
    "                      Requests\" and \"Retry-After: 1\", at once (default 0: none)\n"
    "  --log-requests FILE\n"
    "                      append \"http://HOST/PATH\" to FILE for every request, as it\n"
    "                      arrives\n"
    "  --log-answers FILE  append \"START_MS END_MS BYTES STATUS http://HOST/PATH\" to FILE\n"
    "                      for every answer of the picture host as it ends: times in\n"
    "                      ms since the site started, from the request read to the\n"
    "                      site done with the answer; BYTES of body sent\n"
    "  --hostile SHAPE     a member that tries a client's memory or disk, its bodies made\n"
    "                      as they are sent; SHAPE is one of:\n"
    "                      bomb: album-list page 1 is gzip inflating to 2048 MB, about\n"
    "                      2 MB sent whatever the request accepts;\n"
    "                      large-page: album-list page 1 is 150 MB of HTML, sent plain;\n"
    "                      huge-pictures: album 1's full-size pictures are JPEGs of\n"
    "                      1024 MB each, sent with their Content-Length;\n"
    "                      gzip-tail: album-list page 1 is the page gzipped, then 150 MB\n"
    "                      of bytes that belong to no gzip stream;\n"
    "                      endless: album 1's full-size pictures are a JPEG start and\n"
    "                      bytes that never end, without Content-Length, until the\n"
    "                      client closes the connection\n"
    "  --hostile-size MB   that size instead, in MB of 1024 * 1024 bytes (at most 65536;\n"
    "                      endless has none)\n"
    "  --replay DIR        instead of sample members, answer with what\n"
    "                      \"lumora-cli --capture DIR\" fetched: every captured page\n"
    "                      with its status, headers and body, by its absolute address\n"
    "                      (one captured more than once answers in capture order, then\n"
    "                      with the last again); a small JPEG for a picture address it\n"
    "                      lists; 404 for the rest. Only --port and --log-requests go\n"
    "                      with it\n"
    "  -h, --help          print this help and exit\n"
    "  -v, --version       print the version and exit\n"
    "\n"
    "An option's value may also follow an equals sign (--port=8930). The first line\n"
    "printed names the port and the first member's address; one line for each further\n"
    "member follows.\n"
    "\n"
    "Exit status: 0 when stopped by SIGINT or SIGTERM, 1 when the site could not\n"
    "start, 2 for a usage error.\n";

std::optional<long> parseNumber(const std::string& text, long max) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > max) return std::nullopt;
    return value;
}

// The captured command's arguments without its program and --capture, each
// quoted for a shell where it needs it; " ARGS" or empty.
std::string capturedArguments(const std::vector<std::string>& commandLine) {
    std::string text;
    for (std::size_t i = 1; i < commandLine.size(); ++i) {
        const std::string& arg = commandLine[i];
        if (arg == "--capture") {
            ++i;
            continue;
        }
        if (arg.starts_with("--capture=")) continue;
        const bool plain = !arg.empty() && arg.find_first_not_of(
                                               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                               "0123456789-_./:=,@%+") == std::string::npos;
        if (plain) {
            text += " " + arg;
            continue;
        }
        text += " '";
        for (const char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += "'";
    }
    return text;
}

// A usage error: what was wrong and where the options are told, on stderr.
int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for the options.\n", kProgram, message.c_str(), kProgram);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using lumora::samplesite::SampleSiteOptions;
    SampleSiteOptions options;
    long port = 0;
    // Answer-log times count from here.
    const auto started = std::chrono::steady_clock::now();
    long members = 1;
    std::string requestLog, answerLog, replayFolder;
    std::string shapingOption;  // one that --replay does not go with
    struct NumberOption {
        const char* name;
        long max;
    };
    static constexpr NumberOption kNumbers[] = {
        {"--port", 65535},           {"--latency", 600000},       {"--albums", 100000},
        {"--pictures", 100000},      {"--size", 64 * 1024},       {"--bandwidth", 1 << 20},
        {"--fail-every", 100000},    {"--drop-every", 100000},    {"--hostile-size", 64 * 1024},
        {"--members", 1000},         {"--drop-from", 1 << 30},    {"--faults-upto", 1 << 30},
        {"--trickle-every", 100000}, {"--trickle-rate", 1 << 30}, {"--concurrency-limit", 100000}};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("%s (Lumora) %s\n", kProgram, LUMORA_VERSION);
            return 0;
        }
        if (arg == "--gbk" || arg == "--grown") {
            (arg == "--gbk" ? options.gbkPages : options.grown) = true;
            shapingOption = arg;
            continue;
        }
        // "--name=value" as well as "--name value".
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg.resize(equals);
        }
        if (inlineValue && (arg == "--gbk" || arg == "--grown"))
            return UsageError("option '" + arg + "' takes no value");
        const NumberOption* number = nullptr;
        for (const auto& option : kNumbers)
            if (arg == option.name) number = &option;
        if (!number && arg != "--log-requests" && arg != "--log-answers" && arg != "--hostile" && arg != "--replay") {
            if (arg.starts_with("-")) return UsageError("unknown option '" + arg + "'");
            return UsageError("unexpected argument '" + arg + "' (options start with --)");
        }
        if (!inlineValue && i + 1 >= argc) return UsageError("option '" + arg + "' needs a value");
        const std::string value = inlineValue ? *inlineValue : std::string(argv[++i]);
        if (arg != "--port" && arg != "--log-requests" && arg != "--replay") shapingOption = arg;

        if (arg == "--replay") {
            if (value.empty()) return UsageError("option '--replay' needs a folder");
            replayFolder = value;
            continue;
        }

        if (arg == "--log-requests" || arg == "--log-answers") {
            if (value.empty()) return UsageError("option '" + arg + "' needs a file name");
            (arg == "--log-requests" ? requestLog : answerLog) = value;
            continue;
        }
        if (arg == "--hostile") {
            using lumora::samplesite::Hostile;
            options.hostile = value == "bomb"            ? Hostile::Bomb
                              : value == "large-page"    ? Hostile::LargePage
                              : value == "huge-pictures" ? Hostile::HugePictures
                              : value == "gzip-tail"     ? Hostile::GzipTail
                              : value == "endless"       ? Hostile::Endless
                                                         : Hostile::None;
            if (options.hostile == Hostile::None) {
                return UsageError("unknown hostile shape '" + value +
                                  "' (bomb, large-page, huge-pictures, gzip-tail or endless)");
            }
            continue;
        }
        const std::optional<long> parsed = parseNumber(value, number->max);
        if (!parsed) {
            return UsageError("bad value '" + value + "' for " + arg + " (a whole number from 0 to " +
                              std::to_string(number->max) + ")");
        }
        if (arg == "--port") port = *parsed;
        if ((arg == "--members" || arg == "--drop-from" || arg == "--trickle-rate") && *parsed < 1)
            return UsageError("bad value '" + value + "' for " + arg + " (at least 1)");
        if (arg == "--members") members = *parsed;
        if (arg == "--latency") options.latencyMs = static_cast<int>(*parsed);
        if (arg == "--albums") options.albumCount = static_cast<int>(*parsed);
        if (arg == "--pictures") options.picturesPerAlbum = static_cast<int>(*parsed);
        if (arg == "--size") options.pictureBytes = static_cast<std::size_t>(*parsed) * 1024;
        if (arg == "--bandwidth") options.bytesPerSecond = static_cast<std::size_t>(*parsed) * 1024;
        if (arg == "--fail-every") options.failEvery = static_cast<int>(*parsed);
        if (arg == "--drop-every") options.dropEvery = static_cast<int>(*parsed);
        if (arg == "--hostile-size") options.hostileBytes = static_cast<std::uint64_t>(*parsed) * 1024 * 1024;
        if (arg == "--drop-from") options.dropFrom = static_cast<int>(*parsed);
        if (arg == "--faults-upto") options.faultsUpto = static_cast<int>(*parsed);
        if (arg == "--trickle-every") options.trickleEvery = static_cast<int>(*parsed);
        if (arg == "--trickle-rate") options.trickleBytesPerSecond = static_cast<std::size_t>(*parsed);
        if (arg == "--concurrency-limit") options.concurrencyLimit = static_cast<int>(*parsed);
    }

    if (!replayFolder.empty() && !shapingOption.empty())
        return UsageError("option '" + shapingOption + "' does not go with --replay");

    // Lines are flushed one by one, so that a reader sees every request
    // answered so far while the site runs.
    using LogFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
    LogFile log(nullptr, &std::fclose), answers(nullptr, &std::fclose);
    std::mutex logMutex;
    for (auto [name, file] : {std::pair{&requestLog, &log}, std::pair{&answerLog, &answers}}) {
        if (name->empty()) continue;
        file->reset(std::fopen(name->c_str(), "a"));
        if (!*file) {
            std::perror(("lumora-sample-site: " + *name).c_str());
            return 1;
        }
    }
    if (log) {
        options.onRequest = [file = log.get(), &logMutex](const lumora::testsite::Request& request) {
            std::lock_guard lock(logMutex);
            std::fprintf(file, "http://%s%s\n", request.host.c_str(), request.path.c_str());
            std::fflush(file);
        };
    }
    if (answers) {
        options.onPictureAnswer = [file = answers.get(), &logMutex,
                                   started](const lumora::samplesite::PictureAnswer& answer) {
            auto ms = [&](std::chrono::steady_clock::time_point at) {
                return static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(at - started).count());
            };
            std::lock_guard lock(logMutex);
            std::fprintf(file, "%lld %lld %llu %d http://%s%s\n", ms(answer.start), ms(answer.end),
                         static_cast<unsigned long long>(answer.bodyBytes), answer.status, answer.host.c_str(),
                         answer.path.c_str());
            std::fflush(file);
        };
    }

    // Block the stop signals before any thread starts, so that every thread
    // inherits the mask and only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        if (!replayFolder.empty()) {
            auto replay = std::make_shared<lumora::samplesite::CaptureReplay>(replayFolder);
            lumora::testsite::TestSite site(static_cast<std::uint16_t>(port));
            lumora::samplesite::ServeReplay(site, replay, options.onRequest);
            const unsigned shownPort = site.port();
            std::printf(
                "Replay of %s (%zu pages, %zu pictures) on 127.0.0.1:%u — try: http_proxy=http://127.0.0.1:%u "
                "lumora-cli%s\n",
                replayFolder.c_str(), replay->pageCount(), replay->pictureCount(), shownPort, shownPort,
                capturedArguments(replay->commandLine()).c_str());
            std::fflush(stdout);
            int received = 0;
            sigwait(&stopSignals, &received);
            return 0;
        }
        lumora::testsite::TestSite site(static_cast<std::uint16_t>(port));
        const auto catalogs = lumora::samplesite::RegisterSampleMembers(site, options, static_cast<int>(members));
        const unsigned shownPort = site.port();
        std::printf("Sample site on 127.0.0.1:%u — try: http_proxy=http://127.0.0.1:%u lumora-cli list %s\n", shownPort,
                    shownPort, catalogs.front().memberSpaceAddress().c_str());
        for (std::size_t i = 1; i < catalogs.size(); ++i)
            std::printf("Member %zu: %s\n", i + 1, catalogs[i].memberSpaceAddress().c_str());
        std::fflush(stdout);
        int received = 0;
        sigwait(&stopSignals, &received);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumora-sample-site: %s\n", error.what());
        return 1;
    }
    return 0;
}

// lumora-sample-site: plays one sample member of the photo community on
// 127.0.0.1, so the whole program can be tried without the internet.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "samplesite/PortRelay.h"
#include "samplesite/SampleSite.h"

namespace {

constexpr const char* kUsage =
    "Usage: lumora-sample-site [--port N] [--latency MS] [--albums N] [--pictures N] [--size KB]\n"
    "                          [--bandwidth KB] [--gbk]\n"
    "\n"
    "Serves a sample member of the photo community on 127.0.0.1 until interrupted.\n"
    "Point http_proxy at it to reach it under the community's own addresses.\n"
    "\n"
    "  --port N       listen on port N (default 0: any free port)\n"
    "  --latency MS   wait MS milliseconds before every answer (default 0)\n"
    "  --albums N     number of albums (default 40, 15 to a page)\n"
    "  --pictures N   pictures in every album (default 3 to 12, varying)\n"
    "  --size KB      approximate size of a full picture (default 20)\n"
    "  --bandwidth KB send at most KB kilobytes a second per connection (default 0: no limit)\n"
    "  --gbk          serve pages as GBK instead of UTF-8\n";

std::optional<long> parseNumber(const std::string& text, long max) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > max) return std::nullopt;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    using lumora::samplesite::SampleSiteOptions;
    SampleSiteOptions options;
    long port = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--gbk") {
            options.gbkPages = true;
            continue;
        }
        struct NumberOption {
            const char* name;
            long max;
        };
        static constexpr NumberOption kNumbers[] = {
            {"--port", 65535},     {"--latency", 600000},  {"--albums", 100000},
            {"--pictures", 100000}, {"--size", 64 * 1024}, {"--bandwidth", 1 << 20}};
        const NumberOption* known = nullptr;
        for (const auto& option : kNumbers)
            if (arg == option.name) known = &option;
        std::optional<long> value = known && i + 1 < argc ? parseNumber(argv[++i], known->max) : std::nullopt;
        if (!value) {
            std::fprintf(stderr, "lumora-sample-site: bad or unknown option '%s'\n\n%s", arg.c_str(), kUsage);
            return 2;
        }
        if (arg == "--port") port = *value;
        if (arg == "--latency") options.latencyMs = static_cast<int>(*value);
        if (arg == "--albums") options.albumCount = static_cast<int>(*value);
        if (arg == "--pictures") options.picturesPerAlbum = static_cast<int>(*value);
        if (arg == "--size") options.pictureBytes = static_cast<std::size_t>(*value) * 1024;
        if (arg == "--bandwidth") options.bytesPerSecond = static_cast<std::size_t>(*value) * 1024;
    }

    // Block the stop signals before any thread starts, so that every thread
    // inherits the mask and only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        lumora::testsite::TestSite site;
        lumora::samplesite::RegisterSampleSite(site, options);
        std::unique_ptr<lumora::samplesite::PortRelay> relay;
        long shownPort = site.port();
        if (port != 0) {
            relay = std::make_unique<lumora::samplesite::PortRelay>(static_cast<std::uint16_t>(port), site.port());
            shownPort = port;
        }
        std::printf("Sample site on 127.0.0.1:%ld — try: http_proxy=http://127.0.0.1:%ld lumora-cli list "
                    "http://%s/%s/\n",
                    shownPort, shownPort, lumora::samplesite::kCommunityHost, options.memberId.c_str());
        std::fflush(stdout);
        int received = 0;
        sigwait(&stopSignals, &received);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumora-sample-site: %s\n", error.what());
        return 1;
    }
    return 0;
}

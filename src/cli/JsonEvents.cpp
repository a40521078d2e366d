#include "cli/JsonEvents.h"

#include <nlohmann/json.hpp>

#include "cli/Output.h"
#include "text/StringCtrl.h"

namespace lumora::cli {
namespace {

using nlohmann::json;

json Picture(const char* event, const PictureEvent& picture) {
    return {{"event", event},
            {"album", picture.album},
            {"index", picture.index},
            {"address", WideToUtf8(picture.address)},
            {"path", WideToUtf8(picture.path)}};
}

// `reason` a stable English code for scripts, `message` the same for people.
json WithReason(const char* event, const PictureEvent& picture) {
    json line = Picture(event, picture);
    line["reason"] = WideToUtf8(picture.reason);
    line["message"] = WideToUtf8(picture.message);
    return line;
}

// Workers call the picture events at once; each prints one whole line.
class JsonEvents : public RunListener {
public:
    void RunStarted(bool retry, std::size_t albumCount) override {
        PrintJsonLine({{"event", "run-started"}, {"retry", retry}, {"albums", albumCount}});
    }

    void AlbumStarted(std::size_t number, std::size_t count, const std::u16string& title,
                      const std::u16string& address) override {
        PrintJsonLine({{"event", "album-started"},
                       {"album", number},
                       {"albums", count},
                       {"title", WideToUtf8(title)},
                       {"address", WideToUtf8(address)}});
    }

    void AlbumListed(std::size_t number, std::size_t pictures, const std::u16string& folder) override {
        PrintJsonLine(
            {{"event", "album-listed"}, {"album", number}, {"pictures", pictures}, {"folder", WideToUtf8(folder)}});
    }

    void PictureSaved(const PictureEvent& event) override {
        json line = Picture("picture-saved", event);
        line["bytes"] = event.bytes;
        PrintJsonLine(line);
    }

    // A picture deleted since it was saved carries why it was not fetched again.
    void PictureSkipped(const PictureEvent& event) override {
        PrintJsonLine(event.reason.empty() ? Picture("picture-skipped", event) : WithReason("picture-skipped", event));
    }

    void PictureFailed(const PictureEvent& event) override { PrintJsonLine(WithReason("picture-failed", event)); }

    void PictureFiltered(const PictureEvent& event) override { PrintJsonLine(WithReason("picture-filtered", event)); }

    // "limit": transfers the host gets at once now, null when it has no limit of its own.
    void HostChanged(const HostChange& change) override {
        json line = {{"event", change.slowed ? "host-slowed" : "host-resumed"},
                     {"host", change.host},
                     {"limit", change.limit ? json(change.limit) : json(nullptr)}};
        if (change.pause.count() > 0) line["pause"] = change.pause.count();
        PrintJsonLine(line);
    }

    void AlbumEnded(std::size_t number, const AlbumOutcome& outcome) override {
        json line = {{"event", "album-ended"},
                     {"album", number},
                     {"title", WideToUtf8(outcome.title)},
                     {"folder", WideToUtf8(outcome.folder)},
                     {"pictures", outcome.listed},
                     {"saved", outcome.saved},
                     {"skipped", outcome.skipped},
                     {"filtered", outcome.filtered},
                     {"deleted", outcome.deleted},
                     {"failed", outcome.failures.size()},
                     {"stopped", outcome.stopped},
                     {"pageRead", outcome.page.fetched}};
        if (!outcome.page.fetched) {
            line["pageError"] = WideToUtf8(DescribeFailure({0, {}, {}, outcome.page.error, outcome.page.httpStatus}));
            line["pageErrorMessage"] = WideToUtf8(DescribePageFailure(outcome.page));
        }
        if (outcome.listFileOnly) line["listFileWritten"] = outcome.listFileWritten;
        PrintJsonLine(line);
    }

    void RunEnded(const DownloadReport& report) override {
        const RunTotals totals = report.Totals();
        PrintJsonLine({{"event", "run-ended"},
                       {"complete", report.Complete()},
                       {"stopped", report.stopped},
                       {"albums", report.albums.size()},
                       {"saved", totals.saved},
                       {"skipped", totals.skipped},
                       {"filtered", totals.filtered},
                       {"deleted", totals.deleted},
                       {"failed", totals.failed},
                       {"unrecorded", report.unrecorded}});
    }
};

}  // namespace

std::unique_ptr<RunListener> MakeJsonEvents() { return std::make_unique<JsonEvents>(); }

}  // namespace lumora::cli

// One download run, album after album: collect each album's pictures, then
// write its list file or download them, post-process them and record what
// was saved and what failed in the archive. A retry run downloads the last
// run's failures again under the names they had.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "app/DownloadReport.h"
#include "app/Orders.h"
#include "app/PicturePageReader.h"
#include "download/ArchiveQueue.h"
#include "download/DownloadArchive.h"
#include "download/DownloadJob.h"
#include "download/Scheduler.h"
#include "settings/AppSettings.h"

namespace lumora {

class MainController;

// One album of a run's plan: where its pictures come from.
struct PlannedAlbum {
    std::u16string title;
    std::u16string address;
    // A download reads the album's picture page and names what it finds...
    std::optional<ST_PERLISTRECORD> record;
    // ...a retry downloads the rows the archive kept, under their names.
    std::vector<FailedPicture> failures;
};

// What one run does, made once at its start; one loop carries out every plan.
struct RunPlan {
    bool retry = false;
    std::vector<PlannedAlbum> albums;
    std::u16string downloadFolder;  // where a download's album folders go
    std::uint32_t threadCount = 5;
    TransferOptions transfer;  // for every picture, unchanged
    // A retry works under the options of the run that failed; a download
    // reads the current ones for every album, so that a change applies.
    std::optional<std::uint16_t> options;
    bool skipDeleted = false;  // a saved picture whose file is gone stays gone
    // The albums' pages are read up to the thread count ahead, not one after
    // another: a sync or queue run finds most pictures saved, and its time
    // goes into reading pages.
    bool readPagesAhead = false;
    // An album whose pictures were saved before stays in its folder, and a
    // new one never takes the folder of another: titles named by their place
    // in the list ("春日花园 (1)") move when the member adds an album of the
    // same title, and a backup must not mix albums up.
    bool keepAlbumFolders = false;
};

class DownloadRun {
public:
    // Everything is owned by the controller and outlives the run.
    DownloadRun(MainController& controller, DownloadJob& job, DownloadRunState& state, WorkerTracker& workers,
                std::atomic<std::size_t>& jobSize);

    // The albums the order picked.
    DownloadReport DownloadPickedAlbums(const DownloadOrder& order);
    // The failures that the archive keeps from the last run.
    DownloadReport RetryFailures(const RetryOrder& order);
    // The order's pictures, replacing their files.
    DownloadReport RepairPictures(const RepairOrder& order);

private:
    // Album after album; then the records are flushed and the run ends.
    void Execute(const RunPlan& plan, DownloadReport& report);
    // Reads the album's page into the job; true when its pictures are to be
    // downloaded (false: none, a stop, or the list file was written).
    // `nextAlbum` (may be null) is the album after this one, whose page
    // `ahead` fetches while this album's last pictures finish.
    // Starts reading the pages of album `from` and the ones after it.
    // Where an album goes when the plan keeps album folders (see RunPlan).
    void PlaceAlbumFolder(const RunPlan& plan, const std::u16string& albumAddress, std::u16string& folder);
    void StartPagesAhead(const RunPlan& plan, std::size_t from, PicturePageAhead& ahead);
    bool CollectAlbum(const RunPlan& plan, const ST_PERLISTRECORD& album, AlbumOutcome& outcome,
                      const ST_PERLISTRECORD* nextAlbum, PicturePageAhead& ahead, SchedulerCallbacks& callbacks);
    // The rows into the job, under their names and in their folder.
    void LoadFailures(const std::vector<FailedPicture>& rows, AlbumOutcome& outcome);
    // The album's first address, which its marker records, and whether the
    // marker is written once the job is done.
    struct AlbumMarker {
        std::u16string firstAddress;
        bool due = true;
    };
    // Downloads the job's items (those the archive knows as saved are
    // skipped when the user asked for it), post-processes them and records
    // the failures. The album gets its marker only when every item was saved
    // or skipped.
    // Returns the indexes saved or skipped.
    std::vector<std::size_t> DownloadJobItems(AlbumOutcome& outcome, std::uint16_t options,
                                              const SchedulerCallbacks& callbacks, const AlbumMarker& marker);
    FailedPicture FailureRow(const AlbumOutcome& outcome, const AlbumMarker& marker, std::size_t index,
                             const std::u16string& reason) const;
    // After a stopped retry: the rows whose item never started stay failures.
    void KeepUnstarted(const AlbumOutcome& outcome, const std::vector<FailedPicture>& rows,
                       const std::vector<std::size_t>& done);
    // Items saved before into the same folder, whose file is still there as
    // recorded (their file names become the recorded ones), and items the
    // same size window refused before.
    std::vector<KnownItem> FindKnownItems();
    // Writes the album's "album.json" (when the setting asks for it): this
    // run's items laid over what the manifest held.
    void WriteAlbumManifest(const AlbumOutcome& outcome, const ItemLog& log);
    // With the retries and skip-saved setting of the run.
    void OpenArchive(const AppSettings& app);
    // Writes the records that waited; what still cannot be written is told.
    void FlushRecords(DownloadReport& report);
    void ShowAlbumStatus(std::size_t number, std::size_t count);
    SchedulerCallbacks MakeCallbacks() const;
    // The picture events of the album being downloaded, for the run's listeners.
    ItemEvents MakeItemEvents() const;

    MainController& controller_;
    DownloadJob& job_;
    DownloadRunState& state_;
    WorkerTracker& workers_;
    std::atomic<std::size_t>& jobSize_;
    AppSettings appSettings_;
    bool skipDeleted_ = false;
    bool keepAlbumFolders_ = false;
    bool verifySaved_ = false;
    bool retryRun_ = false;
    // The archive's record of each item that FindKnownItems found saved.
    std::vector<SavedPicture> knownSaved_;
    std::shared_ptr<DownloadArchive> archive_;
    std::shared_ptr<ArchiveQueue> records_;  // every write of the run goes through it
    std::size_t albumNumber_ = 0;            // 1-based, within the run
};

}  // namespace lumora

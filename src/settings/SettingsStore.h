// The settings of one program folder as this process sees them: "soft.dat",
// loaded once (repaired, defaults when it cannot be read), and "lumora.ini",
// read afresh. A change is merged onto the file as it is now: only the fields
// that differ from what this process last saw are written, so a change that
// another process made meanwhile stays. Safe for several threads. The desktop
// program and the command line's settings commands share it; it needs no
// window and no controller.
#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "settings/AppSettings.h"
#include "settings/SettingsBlock.h"

namespace lumora {

class SettingsStore {
public:
    // Told "设置保存失败：<path>（<reason>）" when a save fails.
    using Reporter = std::function<void(const std::u16string&)>;

    SettingsStore(std::filesystem::path programFolder, Reporter report);

    const std::filesystem::path& programFolder() const { return programFolder_; }
    // The block as this process holds it (the window reads its histories).
    const SettingsBlock& block() const { return block_; }
    // Why "soft.dat" could not be read (nothing when it could): the
    // defaults are used and the file is never written.
    const std::optional<Failure>& problem() const { return problem_; }
    // What to tell the user about it: the path, the reason, and what follows.
    std::u16string ProblemText() const;

    // The naming record and option flags, and the download parameters, of the current site.
    NameRules CurrentNameRules();
    bool UpdateNameRules(const NameRules& rules);
    DownloadParams CurrentDownloadParams();
    bool UpdateDownloadParams(const DownloadParams& params);
    AppSettings CurrentAppSettings();
    bool UpdateAppSettings(const AppSettings& settings);

    // Whether `text` would enter this process's history of `kind`.
    bool HistoryWouldTake(HistoryKind kind, const std::u16string& text);
    // Adds `text` to the history on "soft.dat" as it is now, and saves.
    bool AddToHistory(HistoryKind kind, const std::u16string& text);

private:
    // Runs `change` on "soft.dat" as it is now and saves it.
    bool Change(const std::function<void(SettingsBlock&)>& change);
    void ReportSaveFailure(const std::filesystem::path& file, const Failure& failure);

    const std::filesystem::path programFolder_;
    const Reporter report_;
    std::mutex mutex_;  // the window thread edits while a run reads
    SettingsBlock block_;
    std::optional<Failure> problem_;
    AppSettings appSeen_;  // "lumora.ini" as this process last read it
};

}  // namespace lumora

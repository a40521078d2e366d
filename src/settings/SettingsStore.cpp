#include "settings/SettingsStore.h"

#include "base/FailureText.h"
#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"

namespace lumora {

SettingsStore::SettingsStore(std::filesystem::path programFolder, Reporter report)
    : programFolder_(std::move(programFolder)), report_(std::move(report)) {
    block_ = LoadSettings(programFolder_, problem_);
}

std::u16string SettingsStore::ProblemText() const {
    return u"无法读取设置文件：" + Utf8ToWide((programFolder_ / kSettingsFileName).string()) + u"（" +
           (problem_ ? FailureText(*problem_) : std::u16string()) + u"）。本次使用默认设置，不会改写该文件。";
}

void SettingsStore::ReportSaveFailure(const std::filesystem::path& file, const Failure& failure) {
    if (report_) report_(u"设置保存失败：" + Utf8ToWide(file.string()) + u"（" + FailureText(failure) + u"）");
}

NameRules SettingsStore::CurrentNameRules() {
    std::lock_guard lock(mutex_);
    return block_.nameRules[kCurrentSite];
}

bool SettingsStore::UpdateNameRules(const NameRules& rules) {
    const NameRules before = CurrentNameRules();
    return Change([&](SettingsBlock& block) { MergeChanges(block.nameRules[kCurrentSite], before, rules); });
}

DownloadParams SettingsStore::CurrentDownloadParams() {
    std::lock_guard lock(mutex_);
    return block_.downloadParams[kCurrentSite];
}

bool SettingsStore::UpdateDownloadParams(const DownloadParams& params) {
    const DownloadParams before = CurrentDownloadParams();
    return Change([&](SettingsBlock& block) { MergeChanges(block.downloadParams[kCurrentSite], before, params); });
}

bool SettingsStore::Change(const std::function<void(SettingsBlock&)>& change) {
    Result<void> saved;
    {
        std::lock_guard lock(mutex_);
        saved = ChangeSettings(programFolder_, block_, change);
    }
    if (!saved) ReportSaveFailure(programFolder_ / kSettingsFileName, saved.failure());
    return saved.ok();
}

AppSettings SettingsStore::CurrentAppSettings() {
    AppSettings settings = LoadAppSettings(programFolder_);
    std::lock_guard lock(mutex_);
    appSeen_ = settings;
    return settings;
}

bool SettingsStore::UpdateAppSettings(const AppSettings& settings) {
    AppSettings before;
    {
        std::lock_guard lock(mutex_);
        before = appSeen_;
    }
    AppSettings written;
    const Result<void> saved = ChangeAppSettings(programFolder_, [&](AppSettings& onDisk) {
        if (settings.retries != before.retries) onDisk.retries = settings.retries;
        if (settings.skipSaved != before.skipSaved) onDisk.skipSaved = settings.skipSaved;
        if (settings.skipDeleted != before.skipDeleted) onDisk.skipDeleted = settings.skipDeleted;
        if (settings.writeManifest != before.writeManifest) onDisk.writeManifest = settings.writeManifest;
        if (settings.limitRateKB != before.limitRateKB) onDisk.limitRateKB = settings.limitRateKB;
        if (settings.requestDelayMs != before.requestDelayMs) onDisk.requestDelayMs = settings.requestDelayMs;
        written = onDisk;
    });
    if (!saved) {
        ReportSaveFailure(programFolder_ / kAppSettingsFileName, saved.failure());
        return false;
    }
    // What this process wrote is what it has seen: a second change is measured against it.
    std::lock_guard lock(mutex_);
    appSeen_ = written;
    return true;
}

bool SettingsStore::HistoryWouldTake(HistoryKind kind, const std::u16string& text) {
    // Only a text that would enter this process's list is offered to the file.
    std::lock_guard lock(mutex_);
    SettingsBlock copy = block_;
    return lumora::AddToHistory(copy, static_cast<int>(kind), text);
}

bool SettingsStore::AddToHistory(HistoryKind kind, const std::u16string& text) {
    return Change([&](SettingsBlock& block) { lumora::AddToHistory(block, static_cast<int>(kind), text); });
}

}  // namespace lumora

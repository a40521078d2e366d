// The non-visual half of the main window: commands, state bytes, control
// states and status texts, and the workers that do the long jobs. It talks
// to its window only through WindowPort, so the desktop window, the command
// line and the tests each plug in their own.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/WindowPort.h"
#include "settings/ExtensionSettings.h"
#include "settings/SettingsBlock.h"
#include "settings/SettingsFile.h"
#include "site/SiteHost.h"

namespace lumora {

class MainController : public SiteHost {
public:
    // Loads "soft.dat" from `programFolder` (repairing and saving it).
    MainController(WindowPort& window, std::filesystem::path programFolder);
    ~MainController() override;  // asks running workers to stop and waits for them
    MainController(const MainController&) = delete;
    MainController& operator=(const MainController&) = delete;

    // Start-up has finished: commands work from now on.
    void SetReady();

    // Button "获取相册": starts a run, or asks the running one to stop.
    void OnGetAlbumsClicked();
    // Blocks until no get-albums worker runs (for the command line and tests).
    void WaitForGetAlbums();

    const std::filesystem::path& programFolder() const { return programFolder_; }
    SettingsBlock& settings() { return settings_; }
    const ExtensionSettings& extensionSettings() const { return extension_; }
    bool SaveSettingsNow();

    // SiteHost
    SiteSession& session() override { return session_; }
    void LoadExtensionSettings() override;
    std::u16string AddressText() override;
    std::u16string SavePathText() override;
    void ShowMessage(const std::u16string& text) override;
    void SetMainStatus(const std::u16string& text) override;
    void SetProgressStatus(const std::u16string& text) override;
    void SetAlbumGroupCaption(const std::u16string& text) override;
    bool SubTypeVisible() override;
    int SubTypeSelection() override;
    void BeginGetAlbums() override;
    void EndGetAlbums() override;
    void ShowAlbum(std::size_t position) override;
    void RefreshGrid() override;
    void OfferAddressToHistory(const std::u16string& address) override;

private:
    // Runs `body` on a new worker; false (with the thread message shown) when
    // no thread could be made.
    bool StartWorker(std::thread& slot, void (*body)(MainController&));
    static void GetListFunc(MainController& self);

    WindowPort& window_;
    std::filesystem::path programFolder_;
    SettingsBlock settings_;
    ExtensionSettings extension_;
    SiteSession session_;

    std::mutex workerMutex_;
    std::condition_variable workerEnded_;
    bool getListRunning_ = false;
    std::thread getListThread_;
};

}  // namespace lumora

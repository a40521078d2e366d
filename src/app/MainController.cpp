#include "app/MainController.h"

#include <system_error>

#include "app/ControlIds.h"
#include "site/AlbumListReader.h"

namespace lumora {

MainController::MainController(WindowPort& window, std::filesystem::path programFolder)
    : window_(window), programFolder_(std::move(programFolder)) {
    settings_ = LoadSettings(programFolder_);
}

MainController::~MainController() {
    if (session_.getAlbumsState != GET_IDLE) session_.getAlbumsState = GET_STOP;
    if (getListThread_.joinable()) getListThread_.join();
}

void MainController::SetReady() {
    session_.ready = 1;
}

bool MainController::SaveSettingsNow() {
    return SaveSettings(programFolder_, settings_);
}

bool MainController::StartWorker(std::thread& slot, void (*body)(MainController&)) {
    // The previous worker of this kind has ended (its state byte was idle).
    if (slot.joinable()) slot.join();
    try {
        slot = std::thread([this, body] { body(*this); });
        return true;
    } catch (const std::system_error&) {
        ShowMessage(u"Create thread:GetListFunc failed.");
        return false;
    }
}

void MainController::OnGetAlbumsClicked() {
    if (session_.ready != 1) return;
    if (session_.getAlbumsState != GET_IDLE) {
        session_.getAlbumsState = GET_STOP;
        return;
    }
    window_.SetCheck(IDC_SELECT_ALL, false);
    window_.ResetGrid();
    session_.albums.Clear();
    session_.getAlbumsState = GET_RUNNING;
    session_.subType = -1;
    session_.siteIndex = kPhotoCommunitySite;
    {
        std::lock_guard lock(workerMutex_);
        getListRunning_ = true;
    }
    if (!StartWorker(getListThread_, &MainController::GetListFunc)) {
        session_.getAlbumsState = GET_IDLE;
        std::lock_guard lock(workerMutex_);
        getListRunning_ = false;
    }
}

void MainController::GetListFunc(MainController& self) {
    GetAlbumList(self);
    std::lock_guard lock(self.workerMutex_);
    self.getListRunning_ = false;
    self.workerEnded_.notify_all();
}

void MainController::WaitForGetAlbums() {
    std::unique_lock lock(workerMutex_);
    workerEnded_.wait(lock, [this] { return !getListRunning_; });
}

void MainController::LoadExtensionSettings() {
    extension_ = lumora::LoadExtensionSettings(programFolder_);
}

std::u16string MainController::AddressText() {
    return window_.GetItemText(IDC_ADDRESS);
}

std::u16string MainController::SavePathText() {
    return window_.GetItemText(IDC_SAVE_PATH);
}

void MainController::ShowMessage(const std::u16string& text) {
    window_.MessageBox(text);
}

void MainController::SetMainStatus(const std::u16string& text) {
    window_.SetItemText(IDC_STATUS_MAIN, text);
}

void MainController::SetProgressStatus(const std::u16string& text) {
    window_.SetItemText(IDC_STATUS_PROGRESS, text);
}

void MainController::SetAlbumGroupCaption(const std::u16string& text) {
    window_.SetItemText(IDC_ALBUM_GROUP, text);
}

bool MainController::SubTypeVisible() {
    return window_.IsItemVisible(IDC_SUB_TYPE);
}

int MainController::SubTypeSelection() {
    return window_.GetSelection(IDC_SUB_TYPE);
}

void MainController::BeginGetAlbums() {
    session_.getAlbumsState = GET_RUNNING;
    for (int id : {IDC_SITE, IDC_DOWNLOAD, IDC_ADDRESS, IDC_PICTURE_MODE}) window_.EnableItem(id, false);
    window_.SetCheck(IDC_SELECT_ALL, false);
    window_.SetItemText(IDC_GET_ALBUMS, u"终止获取");
    window_.SetItemText(IDC_ALBUM_GROUP, u"相册列表");
    window_.SetItemText(IDC_STATUS_MAIN, u"正在获取相册列表，请稍等...");
    window_.SetItemText(IDC_STATUS_PROGRESS, u"");
    window_.ShowItem(IDC_BANNER, false);
    for (int id : {IDC_FIND, IDC_FILTER, IDC_EXPORT}) window_.EnableItem(id, false);
}

void MainController::EndGetAlbums() {
    session_.getAlbumsState = GET_IDLE;
    window_.EnableItem(IDC_SITE, true);
    window_.EnableItem(IDC_DOWNLOAD, session_.albums.size() > 0);
    window_.SetItemText(IDC_GET_ALBUMS, u"获取相册");
    for (int id : {IDC_ADDRESS, IDC_PICTURE_MODE, IDC_FIND, IDC_FILTER, IDC_EXPORT}) window_.EnableItem(id, true);
}

void MainController::ShowAlbum(std::size_t position) {
    window_.ShowAlbum(position);
}

void MainController::RefreshGrid() {
    window_.RefreshGrid();
}

void MainController::OfferAddressToHistory(const std::u16string& address) {
    if (AddToHistory(settings_, static_cast<int>(HistoryKind::Address), address)) {
        window_.HistoryAdded(IDC_ADDRESS, address);
        SaveSettingsNow();
    }
}

}  // namespace lumora

#include "app/WindowView.h"

#include "app/ControlIds.h"

namespace lumora {
namespace {

// What a run must not change while it goes.
constexpr int kDownloadLocked[] = {IDC_SITE, IDC_GET_ALBUMS, IDC_CHOOSE_FOLDER, IDC_ADDRESS, IDC_SAVE_PATH};
constexpr int kListLocked[] = {IDC_FIND, IDC_FILTER, IDC_EXPORT};

}  // namespace

void WindowView::MainStatus(const std::u16string& text) { window_.SetItemText(IDC_STATUS_MAIN, text); }

void WindowView::ProgressStatus(const std::u16string& text) { window_.SetItemText(IDC_STATUS_PROGRESS, text); }

void WindowView::Message(const std::u16string& text) { window_.MessageBox(text); }

void WindowView::OpenFolder(const std::u16string& folder) { window_.OpenFolder(folder); }

void WindowView::AlbumsCleared() {
    window_.SetCheck(IDC_SELECT_ALL, false);
    window_.ResetGrid();
}

void WindowView::GetAlbumsStarted() {
    for (int id : {IDC_SITE, IDC_DOWNLOAD, IDC_ADDRESS, IDC_PICTURE_MODE}) window_.EnableItem(id, false);
    window_.SetCheck(IDC_SELECT_ALL, false);
    window_.SetItemText(IDC_GET_ALBUMS, u"终止获取");
    window_.ShowItem(IDC_BANNER, false);
    for (int id : kListLocked) window_.EnableItem(id, false);
}

void WindowView::GetAlbumsEnded(bool albumsListed) {
    window_.EnableItem(IDC_SITE, true);
    window_.EnableItem(IDC_DOWNLOAD, albumsListed);
    window_.SetItemText(IDC_GET_ALBUMS, u"获取相册");
    for (int id : {IDC_ADDRESS, IDC_PICTURE_MODE}) window_.EnableItem(id, true);
    for (int id : kListLocked) window_.EnableItem(id, true);
}

void WindowView::AlbumCaption(const std::u16string& text) { window_.SetItemText(IDC_ALBUM_GROUP, text); }

void WindowView::AlbumShown(std::size_t position) { window_.ShowAlbum(position); }

void WindowView::AlbumsRefreshed() { window_.RefreshGrid(); }

void WindowView::DownloadStarted() {
    window_.SetItemText(IDC_DOWNLOAD, u"终止下载");
    for (int id : kDownloadLocked) window_.EnableItem(id, false);
}

void WindowView::DownloadEnded() {
    window_.SetItemText(IDC_DOWNLOAD, u"下载");
    for (int id : kDownloadLocked) window_.EnableItem(id, true);
}

void WindowView::AlbumPicturesDone(unsigned elapsedSeconds, unsigned pictureCount) {
    window_.DownloadFinished(elapsedSeconds, pictureCount);
}

void WindowView::HistoryAdded(HistoryKind kind, const std::u16string& text) {
    window_.HistoryAdded(kind == HistoryKind::Address ? IDC_ADDRESS : IDC_SAVE_PATH, text);
}

void WindowView::RunFinished(bool download) { window_.RunFinished(download); }

}  // namespace lumora

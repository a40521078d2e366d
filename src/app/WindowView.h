// The runs as the main window shows them: each RunView call becomes the
// window's status texts, captions and control states.
#pragma once

#include "app/RunView.h"
#include "app/WindowPort.h"

namespace lumora {

class WindowView : public RunView {
public:
    explicit WindowView(WindowPort& window) : window_(window) {}

    void MainStatus(const std::u16string& text) override;
    void ProgressStatus(const std::u16string& text) override;
    void Message(const std::u16string& text) override;
    void OpenFolder(const std::u16string& folder) override;
    void AlbumsCleared() override;
    void GetAlbumsStarted() override;
    void GetAlbumsEnded(bool albumsListed) override;
    void AlbumCaption(const std::u16string& text) override;
    void AlbumShown(std::size_t position) override;
    void AlbumsRefreshed() override;
    void DownloadStarted() override;
    void DownloadEnded() override;
    void AlbumPicturesDone(unsigned elapsedSeconds, unsigned pictureCount) override;
    void HistoryAdded(HistoryKind kind, const std::u16string& text) override;
    void RunFinished(bool download) override;

private:
    WindowPort& window_;
};

}  // namespace lumora

// The album table of the main window: one row per album (list mode) or a
// wall of thumbnails six to a row (picture mode). Plain clicks tick and
// untick albums; find, filter and CSV export work on what it shows.
// Every member runs on the GUI thread.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QTableWidget>
#include <QThreadPool>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "site/AlbumRecord.h"
#include "web/Retry.h"

class CDlgFind;

class CMyGridCtrl : public QTableWidget {
    Q_OBJECT

public:
    // `albums` is the controller's list; thumbnails go to programFolder/tmp/<i>.jpg.
    CMyGridCtrl(lumora::AlbumList& albums, std::filesystem::path programFolder, QWidget* parent = nullptr);
    ~CMyGridCtrl() override;

    // Empties the grid and rebuilds its columns for the mode; emits
    // gridReset() so the select-all box can uncheck. Picture mode hides the
    // find dialog.
    void ResetGrid(bool pictureMode);
    bool pictureMode() const { return pictureMode_; }

    // Adds album `index` of the list, its title shown at most 80 units long
    // with the whole title as tooltip. In picture mode a missing thumbnail is
    // fetched in the background and shown when it arrives.
    void ShowAlbum(std::size_t index);

    // Albums picked for a download, in grid order.
    std::vector<std::size_t> PickedAlbumPositions() const;
    void SelectAll(bool select);

    // Opens the modeless find dialog (list mode).
    void OpenFind();
    // Hides the find dialog if it is open (picture mode, filter).
    void HideFind();
    // Asks for a filter keyword (modal, list mode); true when one was
    // accepted: it is then in filterKeyword() for the next redisplay and the
    // grid is already cut back to its header.
    bool OpenFilter();
    const std::u16string& filterKeyword() const { return filterKeyword_; }
    void clearFilterKeyword() { filterKeyword_.clear(); }

    // Writes every shown row (the header is not a row) as GBK CSV with CR LF
    // line ends; false when the file cannot be written.
    bool ExportCsv(const QString& path) const;
    // Asks for a file (".csv" added when missing) and exports.
    void ExportCsvWithDialog();
    // Exports and says how it went: a message box on failure, exported() on success.
    void ExportCsvAndSay(const QString& path);

    // With single-row selection a click selects just the clicked row (while
    // the find dialog is open); otherwise clicks toggle.
    void setSingleRowSelection(bool single) { singleRowSelection_ = single; }

    // Search step of the find dialog; returns true when a row was found.
    bool FindNext(const std::u16string& keyword, bool matchCase, bool wholeWord, bool forward);

    // The list mode's column widths (序号, 名称, 数量, 备注), for keeping;
    // the title's is whatever room the others leave.
    std::vector<int> ListColumnWidths() const;
    void SetListColumnWidths(const std::vector<int>& widths);

    // Thumbnails are fetched on worker threads; tests wait for them here.
    void WaitForThumbnails();
    // Forgets every thumbnail and drops fetches still under way; for a new
    // get-albums run, whose records start without thumbnails.
    void ClearThumbnails();

signals:
    void thumbnailLoaded(std::size_t index);
    void gridReset();
    // A CSV export was written; `text` says how many rows and where.
    void exported(const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    // Ctrl+Tab leaves the table as Tab does, whatever the table would do with it.
    void keyPressEvent(QKeyEvent* event) override;
    // A wider wall takes more thumbnails to a row.
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowListRow(std::size_t index, const lumora::ST_PERLISTRECORD& album);
    void ShowPictureCell(std::size_t index, const lumora::ST_PERLISTRECORD& album);
    void RequestThumbnail(std::size_t index, const std::u16string& coverAddress);
    // Worker side: fetches the cover to tmp/<index>.jpg and scales it.
    QImage FetchThumbnail(std::size_t index, const std::u16string& coverAddress, std::uint8_t retries);
    std::uint8_t CoverRetries() const;
    void AcceptThumbnail(std::size_t index, const std::u16string& coverAddress, std::uint64_t generation,
                         const QImage& picture);
    QTableWidgetItem* PictureItem(std::size_t index) const;
    // At least six to a row, as many more as the width holds.
    int ThumbsPerRowThatFit() const;
    void SetThumbColumns();
    void PlacePictureCell(std::size_t index, QTableWidgetItem* cell);
    // Lays the wall out anew at thumbsPerRow_, the picks kept.
    void ReflowPictures();
    void ApplyListWidths();
    void SelectFoundRow(int row);

    lumora::AlbumList& albums_;
    std::filesystem::path programFolder_;
    bool pictureMode_ = false;
    int thumbsPerRow_ = 0;
    std::array<int, 4> listWidths_{};
    bool singleRowSelection_ = false;
    std::u16string filterKeyword_;
    CDlgFind* findDialog_ = nullptr;

    std::vector<QPixmap> thumbnails_;          // a record's imageIndex points in here
    std::set<std::size_t> pendingThumbnails_;  // positions being fetched
    std::uint64_t generation_ = 0;             // bumped by ClearThumbnails
    // "lumora.ini"'s retries, read once per list rather than once per cover.
    std::uint8_t coverRetries_ = 0;
    std::array<std::mutex, 8> fileLocks_;  // one writer per tmp/<i>.jpg at a time
    QThreadPool thumbnailPool_;
    // Raised when the grid goes, so no cover fetch keeps it waiting.
    std::shared_ptr<lumora::StopToken> thumbnailStop_ = std::make_shared<lumora::StopToken>();
};

// One CSV line of cell texts as the export writes it: apostrophes deleted,
// quotes doubled, commas as "','", every cell followed by ",", in GBK;
// without the line end.
std::string AlbumCsvLine(const std::vector<std::u16string>& cells);

#include "gui/AlbumGrid.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStandardPaths>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <system_error>

#include "gui/Desktop.h"
#include "gui/DlgFind.h"
#include "gui/GuiText.h"
#include "settings/AppSettings.h"
#include "text/Format.h"
#include "text/StringCtrl.h"
#include "web/FileDownload.h"

namespace {

constexpr int kColumnCount = 6;
constexpr int kLeastThumbsPerRow = 6;
constexpr int kThumbWidth = 113;
constexpr int kThumbHeight = 120;
constexpr int kThumbRowHeight = kThumbHeight + 10;
constexpr int kCellMargin = 3;
constexpr int kThumbCellWidth = kThumbWidth + 2 * kCellMargin;
constexpr int kFetchThreads = 4;
const QColor kGridColour(199, 227, 227);
// A picked thumbnail: a thick frame and a tick in this colour, plain to see
// on any picture (the pale grid colour only tints the caption strip).
const QColor kPickedColour(0, 102, 204);
constexpr int kPickedFrame = 4;
constexpr int kTickSize = 22;

struct ListColumn {
    const char16_t* header;
    int width;
};
// 序号, 名称, 数量, 备注: the list's columns; the two after them are the
// picture wall's only.
constexpr int kKeptColumns = 4;
constexpr int kTitleColumn = 1;
constexpr ListColumn kListColumns[kColumnCount] = {
    {u"序号", 50}, {u"名称", 575}, {u"数量", 50}, {u"备注", 100}, {u"", 0}, {u"", 0},
};

QTableWidgetItem* TextItem(const std::u16string& text) { return new QTableWidgetItem(ToQString(text)); }

// A title cell shows no more than the list's title length; the whole title
// (longer with its number) is its tooltip. The record itself is never changed:
// its title names the album's folder.
QTableWidgetItem* TitleItem(const std::u16string& shown, const std::u16string& title) {
    auto* item = TextItem(shown);
    item->setToolTip(ToQString(title));
    return item;
}

// Picture-mode cell: the thumbnail fills the cell, the "%d.%s" text runs in a
// light strip along its foot.
class ThumbnailDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem background(option);
        initStyleOption(&background, index);
        const QString text = background.text;
        background.text.clear();
        background.icon = QIcon();
        background.features &= ~(QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration);
        const QWidget* view = option.widget;
        QStyle* style = view ? view->style() : nullptr;
        if (style) style->drawControl(QStyle::CE_ItemViewItem, &background, painter, view);

        // A thin edge above the picture lets the selection colour show.
        const QRect cell = option.rect.adjusted(kCellMargin, 2, -kCellMargin, 0);
        const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
        if (!picture.isNull()) painter->drawPixmap(QRect(cell.topLeft(), QSize(kThumbWidth, kThumbHeight)), picture);
        if (text.isEmpty()) return;

        // The caption stays inside the frame a pick draws, picked or not.
        const QFontMetrics metrics(option.font);
        const QRect strip(cell.left() + kPickedFrame, cell.bottom() - kPickedFrame - metrics.height(),
                          cell.width() - 2 * kPickedFrame, metrics.height() + 1);
        const bool selected = option.state & QStyle::State_Selected;
        QColor shade = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
        shade.setAlpha(220);
        painter->fillRect(strip, shade);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(strip, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(text, Qt::ElideRight, strip.width()));
        if (selected) DrawPickedMark(painter, cell);
    }

private:
    static void DrawPickedMark(QPainter* painter, const QRect& cell) {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QPen frame(kPickedColour, kPickedFrame);
        frame.setJoinStyle(Qt::MiterJoin);
        painter->setPen(frame);
        painter->setBrush(Qt::NoBrush);
        const int inset = kPickedFrame / 2;
        painter->drawRect(QRectF(cell).adjusted(inset, inset, -inset, -inset));

        const QRectF badge(cell.right() - kPickedFrame - kTickSize, cell.top() + kPickedFrame + 2, kTickSize,
                           kTickSize);
        painter->setPen(QPen(Qt::white, 1.5));
        painter->setBrush(kPickedColour);
        painter->drawEllipse(badge);
        QPen tick(Qt::white, 2.5);
        tick.setCapStyle(Qt::RoundCap);
        tick.setJoinStyle(Qt::RoundJoin);
        painter->setPen(tick);
        const QPointF points[] = {badge.topLeft() + QPointF(0.25, 0.52) * kTickSize,
                                  badge.topLeft() + QPointF(0.43, 0.70) * kTickSize,
                                  badge.topLeft() + QPointF(0.76, 0.32) * kTickSize};
        painter->drawPolyline(points, 3);
        painter->restore();
    }
};

}  // namespace

std::string AlbumCsvLine(const std::vector<std::u16string>& cells) {
    std::u16string line;
    for (std::u16string cell : cells) {
        std::erase(cell, u'\'');
        lumora::ReplaceAll(cell, u"\"", u"\"\"");
        lumora::ReplaceAll(cell, u",", u"','");
        line += cell;
        line += u',';
    }
    return lumora::WideToGbk(line);
}

CMyGridCtrl::CMyGridCtrl(lumora::AlbumList& albums, std::filesystem::path programFolder, QWidget* parent)
    : QTableWidget(parent), albums_(albums), programFolder_(std::move(programFolder)), coverRetries_(CoverRetries()) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::MultiSelection);
    verticalHeader()->hide();
    setWordWrap(false);

    QPalette colours = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight, kGridColour);
        colours.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    colours.setColor(QPalette::Base, Qt::white);
    setPalette(colours);
    setStyleSheet(QStringLiteral("QTableView { gridline-color: rgb(199, 227, 227); }"));

    thumbnailPool_.setMaxThreadCount(kFetchThreads);
    for (int column = 0; column < kKeptColumns; ++column) listWidths_[column] = kListColumns[column].width;
    // A width the user gives a list column is kept for the next list and start.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (!pictureMode_ && column < kKeptColumns && column != kTitleColumn && width > 0) listWidths_[column] = width;
    });
    ResetGrid(false);
}

std::vector<int> CMyGridCtrl::ListColumnWidths() const {
    std::vector<int> widths(listWidths_.begin(), listWidths_.end());
    if (!pictureMode_) widths[kTitleColumn] = columnWidth(kTitleColumn);
    return widths;
}

void CMyGridCtrl::SetListColumnWidths(const std::vector<int>& widths) {
    if (widths.size() != static_cast<std::size_t>(kKeptColumns)) return;
    for (int column = 0; column < kKeptColumns; ++column) listWidths_[column] = widths[column];
    if (!pictureMode_) ApplyListWidths();
}

void CMyGridCtrl::ApplyListWidths() {
    // The title takes whatever room the others leave, so that the table fills its width.
    QHeaderView* header = horizontalHeader();
    for (int column = 0; column < kColumnCount; ++column) {
        const bool kept = column < kKeptColumns;
        header->setSectionResizeMode(column, column == kTitleColumn ? QHeaderView::Stretch : QHeaderView::Interactive);
        setColumnHidden(column, !kept);
        if (kept && column != kTitleColumn) setColumnWidth(column, listWidths_[column]);
    }
}

CMyGridCtrl::~CMyGridCtrl() {
    // The dialog signals the grid while it hides; let it go first.
    delete findDialog_;
    findDialog_ = nullptr;
    // Queued fetches are dropped; running ones end their retry waits at once
    // and their transfers soon after.
    thumbnailPool_.clear();
    thumbnailStop_->Raise();
    thumbnailPool_.waitForDone();
}

void CMyGridCtrl::ResetGrid(bool pictureMode) {
    pictureMode_ = pictureMode;
    clearSelection();
    setRowCount(0);
    QAbstractItemDelegate* old = itemDelegate();
    if (pictureMode) {
        HideFind();
        horizontalHeader()->hide();
        setSelectionBehavior(QAbstractItemView::SelectItems);
        setItemDelegate(new ThumbnailDelegate(this));
        thumbsPerRow_ = ThumbsPerRowThatFit();
        SetThumbColumns();
    } else {
        setColumnCount(kColumnCount);
        horizontalHeader()->show();
        setSelectionBehavior(QAbstractItemView::SelectRows);
        setItemDelegate(new QStyledItemDelegate(this));
        QStringList headers;
        for (const ListColumn& column : kListColumns) headers << ToQString(column.header);
        setHorizontalHeaderLabels(headers);
        ApplyListWidths();
    }
    if (old && old->parent() == this) old->deleteLater();
    viewport()->update();
    emit gridReset();
}

void CMyGridCtrl::ShowAlbum(std::size_t index) {
    std::optional<lumora::ST_PERLISTRECORD> album = albums_.at(index);
    if (!album) return;
    if (pictureMode_) {
        ShowPictureCell(index, *album);
    } else {
        ShowListRow(index, *album);
    }
}

void CMyGridCtrl::ShowListRow(std::size_t index, const lumora::ST_PERLISTRECORD& album) {
    if (!filterKeyword_.empty() && album.title.find(filterKeyword_) == std::u16string::npos) return;
    const int row = rowCount();
    insertRow(row);
    QTableWidgetItem* number = TextItem(lumora::FormatText(u"%04d", {std::int64_t{row + 1}}));
    number->setData(Qt::UserRole, static_cast<qulonglong>(index));
    setItem(row, 0, number);
    setItem(row, 1, TitleItem(lumora::ShortTitle(album.title), album.title));
    setItem(row, 2, TextItem(lumora::AlbumCountText(album.pictureCount)));
    setItem(row, 3, TextItem(lumora::AlbumRemark(album.albumFlags)));
}

void CMyGridCtrl::ShowPictureCell(std::size_t index, const lumora::ST_PERLISTRECORD& album) {
    auto* cell =
        TitleItem(lumora::FormatText(u"%d.%s", {static_cast<std::int64_t>(index + 1), lumora::ShortTitle(album.title)}),
                  album.title);
    cell->setData(Qt::UserRole, static_cast<qulonglong>(index));
    const bool loaded = album.imageIndex >= 0 && static_cast<std::size_t>(album.imageIndex) < thumbnails_.size();
    if (loaded) cell->setData(Qt::DecorationRole, thumbnails_[album.imageIndex]);
    PlacePictureCell(index, cell);
    if (!loaded) RequestThumbnail(index, album.coverAddress);
}

void CMyGridCtrl::PlacePictureCell(std::size_t index, QTableWidgetItem* cell) {
    const auto perRow = static_cast<std::size_t>(thumbsPerRow_);
    const int row = static_cast<int>(index / perRow);
    // Rows normally arrive in order; growing to the row also copes with gaps.
    while (rowCount() <= row) {
        insertRow(rowCount());
        setRowHeight(rowCount() - 1, kThumbRowHeight);
    }
    setItem(row, static_cast<int>(index % perRow), cell);
}

QTableWidgetItem* CMyGridCtrl::PictureItem(std::size_t index) const {
    if (!pictureMode_) return nullptr;
    const auto perRow = static_cast<std::size_t>(thumbsPerRow_);
    QTableWidgetItem* cell = item(static_cast<int>(index / perRow), static_cast<int>(index % perRow));
    if (!cell || cell->data(Qt::UserRole).toULongLong() != index) return nullptr;
    return cell;
}

int CMyGridCtrl::ThumbsPerRowThatFit() const {
    // Counted as if the scroll bar were there, so that its coming and going
    // does not lay the wall out again and again.
    const int room = contentsRect().width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return std::max(kLeastThumbsPerRow, room / kThumbCellWidth);
}

void CMyGridCtrl::SetThumbColumns() {
    setColumnCount(thumbsPerRow_);
    for (int column = 0; column < thumbsPerRow_; ++column) {
        horizontalHeader()->setSectionResizeMode(column, QHeaderView::Interactive);
        setColumnHidden(column, false);
        setColumnWidth(column, kThumbCellWidth);
    }
}

void CMyGridCtrl::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    if (!pictureMode_) return;
    const int perRow = ThumbsPerRowThatFit();
    if (perRow == thumbsPerRow_) return;
    thumbsPerRow_ = perRow;
    ReflowPictures();
}

void CMyGridCtrl::ReflowPictures() {
    const std::vector<std::size_t> picked = PickedAlbumPositions();
    std::vector<QTableWidgetItem*> cells;
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (QTableWidgetItem* cell = takeItem(row, column)) cells.push_back(cell);
        }
    }
    clearSelection();
    setRowCount(0);
    SetThumbColumns();
    for (QTableWidgetItem* cell : cells) PlacePictureCell(cell->data(Qt::UserRole).toULongLong(), cell);
    for (std::size_t position : picked) {
        if (const QTableWidgetItem* cell = PictureItem(position)) {
            selectionModel()->select(indexFromItem(cell), QItemSelectionModel::Select);
        }
    }
}

std::uint8_t CMyGridCtrl::CoverRetries() const {
    return static_cast<std::uint8_t>(lumora::LoadAppSettings(programFolder_).retries);
}

void CMyGridCtrl::RequestThumbnail(std::size_t index, const std::u16string& coverAddress) {
    // One fetch per record: a redisplay while it runs waits for the same one.
    if (coverAddress.empty() || !pendingThumbnails_.insert(index).second) return;
    const std::uint64_t generation = generation_;
    const std::uint8_t retries = coverRetries_;
    thumbnailPool_.start([this, index, coverAddress, generation, retries] {
        QImage picture = FetchThumbnail(index, coverAddress, retries);
        QMetaObject::invokeMethod(
            this,
            [this, index, coverAddress, generation, picture] {
                AcceptThumbnail(index, coverAddress, generation, picture);
            },
            Qt::QueuedConnection);
    });
}

QImage CMyGridCtrl::FetchThumbnail(std::size_t index, const std::u16string& coverAddress, std::uint8_t retries) {
    const std::filesystem::path folder = programFolder_ / "tmp";
    const std::filesystem::path file = folder / (std::to_string(index) + ".jpg");
    std::lock_guard lock(fileLocks_[index % fileLocks_.size()]);
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    if (!lumora::DownloadPreviewImage(coverAddress, file, retries, thumbnailStop_)) {
        return {};
    }
    // Covers come in any format whatever the name says; the reader looks at the content.
    const QImage source(QString::fromStdString(file.string()));
    if (source.isNull()) return {};
    return source.scaled(kThumbWidth, kThumbHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void CMyGridCtrl::AcceptThumbnail(std::size_t index, const std::u16string& coverAddress, std::uint64_t generation,
                                  const QImage& picture) {
    if (generation != generation_) return;  // fetched for a list that is gone
    pendingThumbnails_.erase(index);
    if (picture.isNull()) return;
    // The record may have been replaced meanwhile; only its own cover counts.
    std::optional<lumora::ST_PERLISTRECORD> album = albums_.at(index);
    if (!album || album->coverAddress != coverAddress || album->imageIndex >= 0) return;
    QPixmap thumbnail = QPixmap::fromImage(picture);
    if (thumbnail.isNull()) return;
    thumbnails_.push_back(std::move(thumbnail));
    albums_.SetImageIndex(index, static_cast<std::int32_t>(thumbnails_.size() - 1));
    if (QTableWidgetItem* cell = PictureItem(index)) cell->setData(Qt::DecorationRole, thumbnails_.back());
    emit thumbnailLoaded(index);
}

void CMyGridCtrl::WaitForThumbnails() {
    thumbnailPool_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CMyGridCtrl::ClearThumbnails() {
    ++generation_;
    coverRetries_ = CoverRetries();
    thumbnailPool_.clear();
    pendingThumbnails_.clear();
    thumbnails_.clear();
    for (int row = 0; pictureMode_ && row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (QTableWidgetItem* cell = item(row, column)) cell->setData(Qt::DecorationRole, QVariant());
        }
    }
}

void CMyGridCtrl::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
        (event->modifiers() & Qt::ControlModifier)) {
        const bool back = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!back);
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void CMyGridCtrl::mousePressEvent(QMouseEvent* event) {
    // Plain clicks act as Ctrl-clicks (toggle, keep the rest) unless the find
    // box wants one row at a time.
    const bool single = singleRowSelection_ && !pictureMode_;
    setSelectionMode(single ? QAbstractItemView::SingleSelection : QAbstractItemView::MultiSelection);
    QTableWidget::mousePressEvent(event);
}

std::vector<std::size_t> CMyGridCtrl::PickedAlbumPositions() const {
    std::vector<std::size_t> picked;
    const QItemSelectionModel* selection = selectionModel();
    const std::size_t albumCount = albums_.size();
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (!selection->isSelected(model()->index(row, column))) continue;
            const QTableWidgetItem* cell = item(row, pictureMode_ ? column : 0);
            if (cell) {
                const std::size_t position = cell->data(Qt::UserRole).toULongLong();
                // Empty cells of the last picture row carry no album.
                if (!pictureMode_ || position < albumCount) picked.push_back(position);
            }
            if (!pictureMode_) break;  // one entry per row
        }
    }
    return picked;
}

void CMyGridCtrl::SelectAll(bool select) {
    if (!select || rowCount() == 0) {
        clearSelection();
        return;
    }
    const QItemSelection all(model()->index(0, 0), model()->index(rowCount() - 1, columnCount() - 1));
    selectionModel()->select(all, QItemSelectionModel::Select);
}

void CMyGridCtrl::OpenFind() {
    if (pictureMode_) return;
    if (!findDialog_) {
        findDialog_ = new CDlgFind(this);
        connect(findDialog_, &CDlgFind::findStep, this,
                [this](const QString& keyword, bool matchCase, bool wholeWord, bool forward) {
                    findDialog_->ShowFound(FindNext(keyword.toStdU16String(), matchCase, wholeWord, forward));
                });
        connect(findDialog_, &CDlgFind::findHidden, this, [this] { singleRowSelection_ = false; });
    }
    findDialog_->SetFindMode(true);
    singleRowSelection_ = true;
    findDialog_->show();
    findDialog_->CentreOn(this);
    findDialog_->raise();
    findDialog_->activateWindow();
}

void CMyGridCtrl::HideFind() {
    if (findDialog_ && findDialog_->isVisible()) findDialog_->hide();
}

bool CMyGridCtrl::OpenFilter() {
    if (pictureMode_) return false;
    HideFind();
    CDlgFind dialog(this);
    dialog.SetFindMode(false);
    dialog.CentreOn(this);
    if (dialog.exec() != QDialog::Accepted) return false;
    filterKeyword_ = dialog.keyword().toStdU16String();
    clearSelection();
    setRowCount(0);
    return true;
}

bool CMyGridCtrl::FindNext(const std::u16string& keyword, bool matchCase, bool wholeWord, bool forward) {
    const int rows = rowCount();
    if (keyword.empty() || rows == 0) return false;
    const std::u16string key = matchCase ? keyword : lumora::ToLowerSimple(keyword);
    auto rowMatches = [&](int row) {
        for (int column = 0; column < columnCount(); ++column) {
            const QTableWidgetItem* cell = item(row, column);
            if (!cell) continue;
            std::u16string text = cell->text().toStdU16String();
            if (!matchCase) text = lumora::ToLowerSimple(text);
            if (wholeWord ? text == key : text.find(key) != std::u16string::npos) return true;
        }
        return false;
    };
    const int step = forward ? 1 : -1;
    // The first pass starts beside the focus row; the second covers the whole
    // grid from the top (forward) or the bottom (backward).
    const int starts[2] = {currentRow() + step, forward ? 0 : rows - 1};
    for (int start : starts) {
        for (int row = start; row >= 0 && row < rows; row += step) {
            if (rowMatches(row)) {
                SelectFoundRow(row);
                return true;
            }
        }
    }
    return false;
}

void CMyGridCtrl::SelectFoundRow(int row) {
    const QModelIndex found = model()->index(row, 0);
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(found);
}

bool CMyGridCtrl::ExportCsv(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    bool written = true;
    for (int row = 0; row < rowCount() && written; ++row) {
        std::vector<std::u16string> cells;
        for (int column = 0; column < columnCount(); ++column) {
            const QTableWidgetItem* cell = item(row, column);
            cells.push_back(cell ? cell->text().toStdU16String() : std::u16string());
        }
        const std::string line = AlbumCsvLine(cells) + "\r\n";
        written = file.write(line.data(), static_cast<qint64>(line.size())) == static_cast<qint64>(line.size());
    }
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void CMyGridCtrl::ExportCsvWithDialog() {
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("导出后，自行调整列宽(*.csv)"));
    // A name typed without an extension gets ".csv"; one with another extension is kept.
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ExportCsvAndSay(dialog.selectedFiles().first());
}

void CMyGridCtrl::ExportCsvAndSay(const QString& path) {
    // Saying nothing on failure would pass for success; saying nothing on success leaves the user guessing.
    if (!ExportCsv(path)) {
        QMessageBox::warning(this, CDesktop::ProgramCaption(), QStringLiteral("导出失败，无法写入文件：%1").arg(path));
        return;
    }
    emit exported(QStringLiteral("已导出%1行到%2").arg(rowCount()).arg(path));
}

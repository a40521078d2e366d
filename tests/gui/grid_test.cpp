// Album grid: list and picture display, click selection, thumbnails from the
// loopback site, find and filter through the real dialog, CSV bytes.
#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

#include "gui/AlbumGrid.h"
#include "gui/DlgFind.h"
#include "web/web_test_support.h"

namespace lumora::testing {
namespace {

class QtEnvironment : public ::testing::Environment {
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "grid_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }
    std::unique_ptr<QApplication> app_;
};
::testing::Environment* const kQtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// Runs `action` on the modal window of type T about to open, inside its own
// event loop.
template <class T>
void WhenModal(std::function<void(T*)> action, int triesLeft = 500) {
    QTimer::singleShot(10, [=] {
        if (T* window = qobject_cast<T*>(QApplication::activeModalWidget())) return action(window);
        if (triesLeft > 0) return WhenModal<T>(action, triesLeft - 1);
        ADD_FAILURE() << "no modal window opened";
    });
}

using Positions = std::vector<std::size_t>;

// The grid keeps its thumbnails in the scratch folder of WebTest, whose
// loopback site serves the covers.
class GridTest : public WebTest {
protected:
    void SetUp() override {
        WebTest::SetUp();
        grid_ = std::make_unique<CMyGridCtrl>(albums_, dir_);
        grid_->resize(1000, 600);
        grid_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grid_.get()));
    }
    void TearDown() override {
        grid_.reset();
        WebTest::TearDown();
    }
    void AddAlbum(const std::u16string& title, std::int32_t count = -1, std::int32_t flags = 0,
                  const std::u16string& cover = {}) {
        ST_PERLISTRECORD record;
        record.title = title;
        record.pictureCount = count;
        record.albumFlags = flags;
        record.coverAddress = cover;
        albums_.Add(record);
    }
    void ShowAll() {
        for (std::size_t i = 0; i < albums_.size(); ++i) grid_->ShowAlbum(i);
    }
    std::u16string Text(int row, int column) const {
        const QTableWidgetItem* cell = grid_->item(row, column);
        return cell ? cell->text().toStdU16String() : u"";
    }
    void Click(int row, int column) {
        const QRect cell = grid_->visualRect(grid_->model()->index(row, column));
        QTest::mouseClick(grid_->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
    bool HasThumbnail(int row, int column) const {
        return !grid_->item(row, column)->data(Qt::DecorationRole).value<QPixmap>().isNull();
    }

    AlbumList albums_;
    std::unique_ptr<CMyGridCtrl> grid_;
};

TEST_F(GridTest, ListRowsShowNumberNameCountAndRemark) {
    const std::u16string longName = std::u16string(60, u'长') + std::u16string(40, u'x');
    AddAlbum(longName, -1, 0);
    AddAlbum(u"seven", 7, static_cast<std::int32_t>(0x80000005u));
    AddAlbum(std::u16string(79, u'a') + u"\U0001F600tail", 12, 3);
    ShowAll();
    ASSERT_EQ(grid_->rowCount(), 3);
    EXPECT_EQ(Text(0, 0) + Text(0, 2) + Text(0, 3), u"0001未知");
    EXPECT_EQ(Text(1, 2), u"   7");
    EXPECT_EQ(Text(1, 3), u"00000005");
    EXPECT_EQ(Text(2, 0), u"0003");
    EXPECT_EQ(Text(2, 3), u"加密相册");
    // Names are cut to 80 units when the list takes them...
    EXPECT_EQ(Text(0, 1), longName.substr(0, 80));
    EXPECT_EQ(albums_.at(0)->title, longName.substr(0, 80));
    // ...but never through a surrogate pair.
    EXPECT_EQ(albums_.at(2)->title, std::u16string(79, u'a'));
}

TEST_F(GridTest, LongTitlesAreShortenedOnlyWhereShown) {
    const std::u16string first80(80, u'x');
    AddAlbum(first80 + u"-one");
    AddAlbum(first80 + u"-two");
    AddAlbum(std::u16string(100, u'y'));
    // What the command line reads from the list is what the desktop's grid
    // leaves in it.
    std::vector<std::u16string> listed;
    for (const ST_PERLISTRECORD& album : albums_.all()) listed.push_back(album.title);
    ShowAll();
    // Two albums, two titles (so two folders); the grid shows 80 units of
    // each and the whole title as its tooltip, and changes no record.
    EXPECT_EQ(Text(0, 1), first80);
    EXPECT_EQ(Text(1, 1), first80);
    EXPECT_EQ(grid_->item(1, 1)->toolTip().toStdU16String(), first80 + u" (1)");
    EXPECT_EQ(albums_.at(1)->title, first80 + u" (1)");

    grid_->ResetGrid(true);
    ShowAll();
    EXPECT_EQ(Text(0, 1), u"2." + first80);
    EXPECT_EQ(grid_->item(0, 1)->toolTip().toStdU16String(), first80 + u" (1)");
    std::vector<std::u16string> shown;
    for (const ST_PERLISTRECORD& album : albums_.all()) shown.push_back(album.title);
    EXPECT_EQ(shown, listed);
    EXPECT_EQ(listed, (std::vector<std::u16string>{first80, first80 + u" (1)", std::u16string(80, u'y')}));
}

TEST_F(GridTest, PlainClicksToggleRowsAndPickThem) {
    for (auto name : {u"a", u"b", u"c", u"d"}) AddAlbum(name);
    ShowAll();
    Click(0, 1);
    Click(2, 2);
    Click(3, 0);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0, 2, 3}));
    Click(2, 1);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0, 3}));
    EXPECT_TRUE(grid_->selectionModel()->isRowSelected(0, QModelIndex()));

    grid_->SelectAll(true);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0, 1, 2, 3}));
    grid_->SelectAll(false);
    EXPECT_TRUE(grid_->PickedAlbumPositions().empty());
}

TEST_F(GridTest, PictureModeLaysOutSixToARowAndMoreWhenWider) {
    grid_->resize(740, 600);
    for (auto name : {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"ninth"}) AddAlbum(name);
    grid_->ResetGrid(true);
    ShowAll();
    ASSERT_EQ(grid_->rowCount(), 2);
    EXPECT_EQ(grid_->rowHeight(1), 130);
    EXPECT_EQ(Text(1, 2), u"9.ninth");
    EXPECT_EQ(grid_->item(1, 3), nullptr);

    // The empty cells of the last row pick nothing.
    grid_->SelectAll(true);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    grid_->SelectAll(false);
    for (auto [row, column] : {std::pair{1, 2}, {0, 2}, {0, 3}, {0, 3}}) Click(row, column);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{2, 8}));

    // Wider, the wall takes nine to a row and keeps the picks; narrower, six again.
    grid_->resize(1150, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid_->rowCount() == 1; }));
    EXPECT_EQ(Text(0, 8), u"9.ninth");
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{2, 8}));
    grid_->resize(500, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid_->rowCount() == 2; }));
    EXPECT_EQ(Text(1, 2), u"9.ninth");
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{2, 8}));
}

// A PNG cover that takes a moment, so that the grid moves on meanwhile.
testsite::Response SlowCover() {
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    auto answer = testsite::Response::Text(png.toStdString(), "image/png");
    answer.delayBeforeHeaders = std::chrono::milliseconds(200);
    return answer;
}

TEST_F(GridTest, ThumbnailIsFetchedOnceCachedAndReused) {
    testsite::ProxyEnvironment proxy(site_);
    const testsite::Response cover = SlowCover();
    site_.route("img.pconline.com.cn", "/cover/1.png", cover);
    AddAlbum(u"sea", 3, 0, u"http://img.pconline.com.cn/cover/1.png");
    AddAlbum(u"gone", 3, 0, u"http://img.pconline.com.cn/cover/missing.png");
    grid_->ResetGrid(true);
    ShowAll();
    grid_->ResetGrid(true);  // a redisplay while the cover is on its way
    ShowAll();
    grid_->WaitForThumbnails();

    EXPECT_EQ(ReadFile(dir_ / "tmp" / "0.jpg"), cover.body);
    EXPECT_EQ(albums_.at(0)->imageIndex, 0);
    EXPECT_EQ(grid_->item(0, 0)->data(Qt::DecorationRole).value<QPixmap>().size(), QSize(113, 120));
    EXPECT_EQ(albums_.at(1)->imageIndex, -1);
    EXPECT_FALSE(HasThumbnail(0, 1));

    grid_->ResetGrid(false);
    grid_->ResetGrid(true);
    ShowAll();
    grid_->WaitForThumbnails();
    EXPECT_EQ(site_.requestCount("/cover/1.png"), 1u);
    EXPECT_TRUE(HasThumbnail(0, 0));
}

TEST_F(GridTest, PickedThumbnailIsPlainlyMarked) {
    testsite::ProxyEnvironment proxy(site_);
    site_.route("img.pconline.com.cn", "/cover/1.png", SlowCover());
    for (auto name : {u"a", u"b"}) AddAlbum(name, 3, 0, u"http://img.pconline.com.cn/cover/1.png");
    grid_->ResetGrid(true);
    ShowAll();
    grid_->WaitForThumbnails();
    Click(0, 0);
    ASSERT_EQ(grid_->PickedAlbumPositions(), (Positions{0}));
    const auto cell = [&](int column) {
        return grid_->viewport()->grab(grid_->visualRect(grid_->model()->index(0, column))).toImage();
    };
    const QImage picked = cell(0);
    const QImage other = cell(1);
    ASSERT_EQ(picked.size(), other.size());
    // A tint of the caption strip alone changes no pixel this much.
    int marked = 0;
    for (int y = 0; y < picked.height(); ++y) {
        for (int x = 0; x < picked.width(); ++x) {
            const QColor a = picked.pixelColor(x, y);
            const QColor b = other.pixelColor(x, y);
            const int change =
                std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
            marked += change > 100 ? 1 : 0;
        }
    }
    EXPECT_GT(marked, picked.width() * picked.height() / 20);
}

class FindTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        for (auto name : {u"Sea one", u"hill", u"sea two", u"lake"}) AddAlbum(name);
        ShowAll();
    }
    // The row a search step selected, or -1 when it found none.
    int Find(const std::u16string& keyword, bool matchCase = false, bool wholeWord = false, bool forward = true) {
        return grid_->FindNext(keyword, matchCase, wholeWord, forward) ? grid_->currentRow() : -1;
    }
    // Types into the dialog's keyword box and presses one of its buttons.
    static void Press(QDialog* dialog, const QString& keyword, const char* button) {
        dialog->findChild<QLineEdit*>("edit1639")->setText(keyword);
        dialog->findChild<QPushButton*>(button)->click();
    }
};

TEST_F(FindTest, StepsWrapAroundAndHonourCaseAndWholeWord) {
    EXPECT_EQ(Find(u"SEA"), 0);
    EXPECT_EQ(Find(u"SEA"), 2);
    EXPECT_EQ(Find(u"SEA"), 0);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0}));
    EXPECT_EQ(Find(u"SEA", false, false, false), 2);
    EXPECT_EQ(Find(u"sea", true), 2);
    EXPECT_EQ(Find(u"hil", false, true), -1);
    EXPECT_EQ(Find(u"HILL", false, true), 1);
    EXPECT_EQ(Find(u"0004", true, true), 3);  // the number column counts too
}

TEST_F(FindTest, DialogSelectsSingleRowsUntilClosed) {
    grid_->OpenFind();
    auto* dialog = grid_->findChild<CDlgFind*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    Press(dialog, u"  lake "_qs, "button1006");
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{3}));
    auto* result = dialog->findChild<QLabel*>("findResult");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->text(), QString());
    Press(dialog, u"nowhere"_qs, "button1006");
    EXPECT_EQ(result->text(), u"未找到"_qs);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{3}));  // nothing found, nothing changed
    Click(1, 1);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{1}));

    QString message;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        message = box->text();
        box->accept();
    });
    Press(dialog, u"   "_qs, "button1701");
    EXPECT_EQ(message, u"关键字不能为空"_qs);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{1}));

    dialog->findChild<QPushButton*>("button1699")->click();
    EXPECT_FALSE(dialog->isVisible());
    Click(2, 1);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{1, 2}));

    // Hidden by picture mode, the dialog no longer holds clicks to one row.
    grid_->OpenFind();
    grid_->ResetGrid(true);
    grid_->ResetGrid(false);
    ShowAll();
    EXPECT_FALSE(dialog->isVisible());
    Click(0, 1);
    Click(1, 1);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{0, 1}));
}

TEST_F(FindTest, TypingGoesToTheKeywordAndEnterSearches) {
    grid_->OpenFind();
    auto* dialog = grid_->findChild<CDlgFind*>();
    ASSERT_TRUE(dialog && dialog->isVisible());
    QWidget* focus = dialog->focusWidget();
    ASSERT_EQ(focus, dialog->findChild<QLineEdit*>("edit1639"));
    QTest::keyClicks(focus, u"lake"_qs);
    QTest::keyClick(focus, Qt::Key_Return);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{3}));

    WhenModal<CDlgFind>([](CDlgFind* filter) {
        QTest::keyClicks(filter->focusWidget(), u"sea"_qs);
        QTest::keyClick(filter->focusWidget(), Qt::Key_Enter);
    });
    ASSERT_TRUE(grid_->OpenFilter());
    EXPECT_EQ(grid_->filterKeyword(), u"sea");
}

TEST_F(FindTest, FilterShowsOnlyMatchingNamesOnce) {
    WhenModal<CDlgFind>([](CDlgFind* dialog) { Press(dialog, u" sea "_qs, "button1006"); });
    ASSERT_TRUE(grid_->OpenFilter());
    EXPECT_EQ(grid_->filterKeyword(), u"sea");
    EXPECT_EQ(grid_->rowCount(), 0);
    ShowAll();
    ASSERT_EQ(grid_->rowCount(), 1);  // case-sensitive: "Sea one" stays out
    EXPECT_EQ(Text(0, 0) + Text(0, 1), u"0001sea two");
    grid_->SelectAll(true);
    EXPECT_EQ(grid_->PickedAlbumPositions(), (Positions{2}));

    WhenModal<CDlgFind>([](CDlgFind* dialog) { Press(dialog, u"desert"_qs, "button1006"); });
    ASSERT_TRUE(grid_->OpenFilter());
    ShowAll();
    EXPECT_EQ(grid_->rowCount(), 0);
}

TEST(AlbumCsvLineTest, QuotesTheProgramsOwnWay) {
    EXPECT_EQ(AlbumCsvLine({u"a,b\"c'"}), "a','b\"\"c,");
    EXPECT_EQ(AlbumCsvLine({u"", u"风"}), ",\xB7\xE7,");
}

TEST_F(GridTest, ExportWritesEveryRowInGbkWithCrLf) {
    AddAlbum(u"风景", 7, 1);
    AddAlbum(u"b", -1, 0);
    ShowAll();
    const QString file = QString::fromStdString(Path("albums.csv").string());
    std::ofstream(Path("albums.csv")) << "old content that is longer than the export";
    ASSERT_TRUE(grid_->ExportCsv(file));
    EXPECT_EQ(ReadFile(Path("albums.csv")),
              "0001,\xB7\xE7\xBE\xB0,   7,\xBC\xD3\xC3\xDC\xCF\xE0\xB2\xE1,,,\r\n"
              "0002,b,\xCE\xB4\xD6\xAA,,,,\r\n");
    EXPECT_FALSE(grid_->ExportCsv(QString::fromStdString(Path("no/such.csv").string())));

    // From the link, the export says what it wrote.
    QString said;
    QObject::connect(grid_.get(), &CMyGridCtrl::exported, grid_.get(), [&](const QString& text) { said = text; });
    grid_->ExportCsvAndSay(file);
    EXPECT_EQ(said, u"已导出2行到"_qs + file);

    // Picture mode has no header row: its first row is albums too, six to a row at this width.
    grid_->resize(740, 600);
    grid_->ResetGrid(true);
    ShowAll();
    ASSERT_TRUE(grid_->ExportCsv(file));
    EXPECT_EQ(ReadFile(Path("albums.csv")), "1.\xB7\xE7\xBE\xB0,2.b,,,,,\r\n");
}

}  // namespace
}  // namespace lumora::testing

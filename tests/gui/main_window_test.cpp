// The main window with real widgets against the loopback site: start-up,
// the two commands and their button states, the picture-mode switch, the
// site boxes and closing while workers run.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>

#include <cstdlib>
#include <fstream>
#include <set>

#include "gui/ComboBox2.h"
#include "gui/GuiText.h"
#include "gui_fixture.h"
#include "samplesite/SampleSite.h"
#include "text/StringCtrl.h"

namespace lumora::guitest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

QComboBox* Combo(CLumoraDlg& window, int id) { return qobject_cast<QComboBox*>(window.control(id)); }

// Clicks the list row that shows `title`, as a user ticks an album.
void ClickAlbumRow(CMyGridCtrl* grid, const QString& title) {
    for (int row = 0; row < grid->rowCount(); ++row) {
        QTableWidgetItem* item = grid->item(row, 1);
        if (!item || item->text() != title) continue;
        grid->scrollToItem(item);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(item).center());
        return;
    }
    ADD_FAILURE() << "no row shows " << title.toStdString();
}

std::set<std::string> FilesBelow(const fs::path& folder) {
    std::set<std::string> files;
    if (!fs::exists(folder)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) files.insert(fs::relative(entry.path(), folder).string());
    }
    return files;
}

using StartupTest = WindowTest;

TEST_F(StartupTest, ReadyWindowListsTheSitesAndRecognisesTheClipboardAddress) {
    QGuiApplication::clipboard()->setText(QStringLiteral("  http://t.qq.com/someone  "));
    CLumoraDlg& window = OpenWindow();
    EXPECT_TRUE(window.ready());
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(WaitUntil([&] { return window.splash() == nullptr; }));
    EXPECT_EQ(window.addressBox()->currentText(), QStringLiteral("http://t.qq.com/someone"));
    QComboBox* site = Combo(window, IDC_SITE);
    ASSERT_EQ(site->count(), 16);
    EXPECT_EQ(site->currentIndex(), 0);
    EXPECT_EQ(Combo(window, IDC_SUB_TYPE)->currentText(), QStringLiteral("腾讯微博相册"));
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("就绪"));  // a hint, not a placeholder
    EXPECT_EQ(Text(IDC_DOWNLOAD), QStringLiteral("下载"));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
    EXPECT_TRUE(fs::exists(home_ / "soft.dat"));
    QGuiApplication::clipboard()->clear();
}

TEST_F(StartupTest, ClipboardTextIsTakenOnlyWhenItIsAnAddressOfFewerThanTwoHundredCharacters) {
    for (const QString& text : {QStringLiteral("http://") + QString(193, QLatin1Char('a')), QStringLiteral("hello")}) {
        QGuiApplication::clipboard()->setText(text);
        CLumoraDlg& window = OpenWindow();
        EXPECT_TRUE(window.addressBox()->currentText().isEmpty()) << text.toStdString();
        EXPECT_EQ(Combo(window, IDC_SITE)->currentIndex(), 14);
        EXPECT_TRUE(Combo(window, IDC_SUB_TYPE)->isHidden());
    }
    QGuiApplication::clipboard()->clear();
}

TEST_F(StartupTest, SaveFolderComesFromTheHistoryElseTheDocumentsFolder) {
    CLumoraDlg& first = OpenWindow();
    EXPECT_EQ(first.savePathBox()->currentText().toStdString(), DefaultSaveFolder().string());
    desktop_.folders = {QString::fromStdString((home_ / "pictures").string())};
    first.ChooseSaveFolder();

    CLumoraDlg& second = OpenWindow();
    EXPECT_EQ(second.savePathBox()->currentText().toStdString(), (home_ / "pictures").string() + "/");
}

TEST_F(StartupTest, ATypedSaveFolderIsKeptForTheNextStart) {
    CLumoraDlg& first = OpenWindow();
    const QString typed = QString::fromStdString((home_ / "typed here").string());
    first.savePathBox()->setEditText(typed);
    first.close();
    CLumoraDlg& second = OpenWindow();
    EXPECT_EQ(second.savePathBox()->currentText(), typed);
    EXPECT_EQ(LoadWindowSettings(home_).saveFolder, ToU16(typed));
}

TEST_F(StartupTest, TheWindowGrowsAndKeepsItsSizeAndColumnsAcrossARestart) {
    CLumoraDlg& first = OpenWindow();
    const QSize designed = first.size();
    const QSize table = first.grid()->size();
    const QSize grown = designed + QSize(300, 200);
    first.resize(grown);
    ASSERT_TRUE(WaitUntil([&] { return first.grid()->width() >= table.width() + 250; }));
    // The table takes the extra room; the boxes above it grow only in width.
    EXPECT_GE(first.grid()->height(), table.height() + 150);
    EXPECT_EQ(first.addressBox()->height(), first.savePathBox()->height());
    first.grid()->setColumnWidth(3, 160);
    first.close();

    CLumoraDlg& second = OpenWindow();
    EXPECT_EQ(second.size(), grown);
    EXPECT_EQ(second.grid()->columnWidth(3), 160);
    EXPECT_EQ(LoadWindowSettings(home_).columnWidths.size(), 4u);
}

TEST_F(StartupTest, AProgramFolderThatCannotBeWrittenIsSaidAtStart) {
    std::ofstream(home_ / "plain") << "a file, not a folder";
    const std::string folder = (home_ / "plain" / "lumora").string();
    setenv("LUMORA_HOME", folder.c_str(), 1);
    CLumoraDlg& window = OpenWindow();
    EXPECT_TRUE(window.ready());
    ASSERT_FALSE(desktop_.messages.empty());
    EXPECT_TRUE(
        desktop_.messages[0].startsWith(QStringLiteral("无法写入程序文件夹：") + QString::fromStdString(folder)))
        << desktop_.messages[0].toStdString();
    window.close();  // said once: neither a missing settings file nor the close says more
    EXPECT_EQ(desktop_.messages.size(), 1u) << desktop_.messages.back().toStdString();
    setenv("LUMORA_HOME", home_.c_str(), 1);
}

TEST_F(StartupTest, GetAlbumsDoesNothingBeforeStartUpHasFinished) {
    ServeMember({"Sea"}, {1});
    CLumoraDlg& window = OpenWindow(false, QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.OnGetAlbums();
    EXPECT_EQ(Text(IDC_GET_ALBUMS), QStringLiteral("获取相册"));
    EXPECT_FALSE(window.busy());
    window.Start();
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_TRUE(site_.requests().empty());
}

using GetAlbumsTest = WindowTest;

TEST_F(GetAlbumsTest, FillsTheGridAndTheHistory) {
    ServeMember({"Sea", "Hills", "Town"}, {1, 1, 1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    ASSERT_EQ(window.grid()->rowCount(), 3);
    EXPECT_EQ(window.grid()->item(0, 0)->text(), QStringLiteral("0001"));
    EXPECT_EQ(window.grid()->item(2, 1)->text(), QStringLiteral("Town"));
    EXPECT_EQ(qobject_cast<QGroupBox*>(window.control(IDC_ALBUM_GROUP))->title(), QStringLiteral("相册列表(共3个)"));
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("获取相册列表完成，共3个"));
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
    EXPECT_TRUE(window.control(IDC_BANNER)->isHidden());
    EXPECT_EQ(window.addressBox()->knownEntries(), QStringList{QStringLiteral("http://dp.pconline.com.cn/m/")});
}

TEST_F(GetAlbumsTest, NoAlbumLeavesDownloadDisabled) {
    ServeListPage(1, testing::ListPage("Member", "", false));
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    EXPECT_EQ(window.grid()->rowCount(), 0);
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("获取相册列表完成，共0个"));
    EXPECT_EQ(Text(IDC_GET_ALBUMS), QStringLiteral("获取相册"));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
    EXPECT_TRUE(window.addressBox()->knownEntries().isEmpty());
}

TEST_F(GetAlbumsTest, EmptyAddressLeavesNoCountAndNothingToDownload) {
    ServeMember({"Sea", "Hills"}, {1, 1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    ASSERT_TRUE(Enabled(IDC_DOWNLOAD));
    GetAlbums(QString());
    EXPECT_EQ(window.grid()->rowCount(), 0);
    EXPECT_EQ(qobject_cast<QGroupBox*>(window.control(IDC_ALBUM_GROUP))->title(), QStringLiteral("相册列表"));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
}

TEST_F(GetAlbumsTest, SecondClickOnlyAsksTheRunningWorkerToStop) {
    const std::string first = testing::AlbumBlock("1", "Sea", "//img.pconline.com.cn/c1.jpg") +
                              testing::AlbumBlock("2", "Hills", "//img.pconline.com.cn/c2.jpg");
    ServeListPage(1, testing::ListPage("Member", first, true), 600ms);
    ServeListPage(2, testing::ListPage("Member", testing::AlbumBlock("3", "Town", "//x/c3.jpg"), false));
    CLumoraDlg& window = OpenWindow();
    window.addressBox()->setEditText(QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.OnGetAlbums();
    ASSERT_TRUE(WaitUntil([&] { return Text(IDC_GET_ALBUMS) == QStringLiteral("终止获取"); }));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));
    EXPECT_FALSE(Enabled(IDC_PICTURE_MODE));
    window.OnGetAlbums();
    EXPECT_EQ(window.controller().session().getAlbumsState, GET_STOP);
    window.OnGetAlbums();  // a stop already asked for stays asked for
    EXPECT_EQ(window.controller().session().getAlbumsState, GET_STOP);
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_EQ(Text(IDC_GET_ALBUMS), QStringLiteral("获取相册"));
    EXPECT_EQ(site_.requestCount("/m/myphoto_p1_n15.html"), 1u);
    EXPECT_EQ(site_.requestCount("/m/myphoto_p2_n15.html"), 0u);
    EXPECT_EQ(window.grid()->rowCount(), 1);
}

TEST_F(GetAlbumsTest, ClickWhileTheLastRunIsStillEndingStartsOnceItHasEnded) {
    ServeMember({"Sea"}, {1});
    CLumoraDlg& window = OpenWindow();
    window.addressBox()->setEditText(QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.OnGetAlbums();
    // The worker's state is back to idle before it has fully ended.
    ASSERT_TRUE(WaitUntil([&] { return window.controller().session().getAlbumsState == GET_IDLE; }));
    window.OnGetAlbums();
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_EQ(site_.requestCount("/m/myphoto_p1_n15.html"), 2u);
    EXPECT_EQ(window.grid()->rowCount(), 1);
}

class DownloadTest : public WindowTest {
protected:
    // Gets the albums of the served member and downloads all of them into
    // home/save; returns once the download runs.
    CLumoraDlg& StartDownloadOfAll() {
        CLumoraDlg& window = OpenWindow();
        GetAlbums();
        window.grid()->SelectAll(true);
        window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
        window.OnDownload();
        EXPECT_TRUE(WaitUntil([&] { return Text(IDC_DOWNLOAD) == QStringLiteral("终止下载"); }));
        return window;
    }
};

TEST_F(DownloadTest, SavesExactlyThePickedAlbums) {
    samplesite::SampleSiteOptions options;
    options.albumCount = 3;
    options.picturesPerAlbum = 2;
    options.pictureBytes = 2048;
    const samplesite::SampleCatalog catalog = samplesite::RegisterSampleSite(site_, options);
    CLumoraDlg& window = OpenWindow();
    GetAlbums(QString::fromStdString(catalog.memberSpaceAddress()));
    ASSERT_EQ(window.grid()->rowCount(), 3);
    const auto title = [&](std::size_t i) { return ToQString(window.controller().session().albums.at(i)->title); };
    ClickAlbumRow(window.grid(), title(0));
    ClickAlbumRow(window.grid(), title(2));
    ASSERT_EQ(window.grid()->PickedAlbumPositions(), (std::vector<std::size_t>{0, 2}));

    const fs::path save = home_ / "save";
    window.savePathBox()->setEditText(QString::fromStdString(save.string()));
    window.OnDownload();
    ASSERT_TRUE(window.WaitUntilIdle(60000));

    const std::string space = WideToUtf8(window.controller().session().spaceName);
    std::set<std::string> expected;
    for (std::size_t album : {0u, 2u}) {
        const fs::path folder = fs::path(space) / title(album).toStdString();
        expected.insert((folder / "pic.lumora").string());  // the marker of this download
        expected.insert((folder / "album.json").string());
        for (int n = 1; n <= 2; ++n) {
            expected.insert((folder / (title(album).toStdString() + " (" + std::to_string(n) + ").jpg")).string());
        }
    }
    EXPECT_EQ(FilesBelow(save), expected);
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("下载完毕：已保存4张"));
    EXPECT_EQ(Text(IDC_STATUS_PROGRESS), QStringLiteral("本次下载失败0张图片"));
    EXPECT_EQ(window.progressBar()->value(), window.progressBar()->maximum());
}

TEST_F(DownloadTest, ButtonStatesFollowTheRunAndFailedPicturesAreCounted) {
    ServeMember({"Sea"}, {3}, 400ms);
    site_.route(testing::kPictureHost, "/1/2.jpg", testsite::Response::Status(404));
    CLumoraDlg& window = StartDownloadOfAll();
    for (int id : {IDC_SITE, IDC_GET_ALBUMS, IDC_CHOOSE_FOLDER, IDC_ADDRESS, IDC_SAVE_PATH}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_EQ(Text(IDC_DOWNLOAD), QStringLiteral("下载"));
    for (int id : {IDC_SITE, IDC_GET_ALBUMS, IDC_CHOOSE_FOLDER, IDC_ADDRESS, IDC_SAVE_PATH, IDC_DOWNLOAD}) {
        EXPECT_TRUE(Enabled(id)) << id;
    }
    EXPECT_EQ(Text(IDC_STATUS_PROGRESS), QStringLiteral("本次下载失败1张图片（点击查看）"));
    // The run's own progress stays beside the quoted texts until the next run.
    const QString run = window.findChild<QLabel*>(QStringLiteral("runProgress"))->text();
    EXPECT_TRUE(run.startsWith(QStringLiteral("第1/1个相册  图片3/3张  失败1"))) << run.toStdString();
    ServeListPage(1, testing::ListPage("Member", "", false));
    GetAlbums();
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("runProgress"))->text(), QString());
    EXPECT_EQ(window.progressBar()->value(), 0);
}

TEST_F(DownloadTest, AListFileRunSaysWhereTheListsWent) {
    ServeMember({"Sea", "Hills"}, {2, 1});
    CLumoraDlg& window = OpenWindow();
    NameRules rules = window.controller().CurrentNameRules();
    rules.optionFlags |= kOptListFileOnly;
    window.controller().UpdateNameRules(rules);
    GetAlbums();
    window.grid()->SelectAll(true);
    const fs::path save = home_ / "save";
    window.savePathBox()->setEditText(QString::fromStdString(save.string()));
    window.OnDownload();
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("下载完毕"));
    EXPECT_EQ(Text(IDC_STATUS_PROGRESS),
              QStringLiteral("列表文件已写入：") + QString::fromStdString((save / "Member").string()) + "/");
    EXPECT_TRUE(fs::exists(save / "Member" / "Sea" / "Sea.lst"));
}

TEST_F(DownloadTest, OpenDuringARunShowsTheAlbumBeingDownloaded) {
    ServeMember({"Sea", "Hills"}, {2, 2}, 400ms);
    CLumoraDlg& window = StartDownloadOfAll();
    ASSERT_TRUE(WaitUntil([&] { return window.controller().downloadBusy(); }));
    window.OpenSaveFolder();
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_TRUE(desktop_.opened[0].endsWith(QStringLiteral("/Member/Sea/"))) << desktop_.opened[0].toStdString();
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    window.OpenSaveFolder();  // no run: the save folder itself
    EXPECT_EQ(desktop_.opened.back(), window.savePathBox()->currentText());
}

TEST_F(DownloadTest, SecondClickStopsAfterTheCurrentAlbum) {
    ServeMember({"Sea", "Hills"}, {2, 2}, 500ms);
    CLumoraDlg& window = StartDownloadOfAll();
    window.OnDownload();
    EXPECT_EQ(window.controller().session().downloadState, DOWN_STOP);
    EXPECT_EQ(Text(IDC_DOWNLOAD), QStringLiteral("终止下载"));
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("下载完毕"));
    EXPECT_EQ(site_.requestCount("/photo/list_2.html"), 0u);
}

TEST_F(DownloadTest, StoppedRunTellsWhatWasSavedAndWhatWasNotDownloaded) {
    constexpr std::size_t kPictures = 20;
    ServeMember({"Sea"}, {static_cast<int>(kPictures)}, 300ms);
    CLumoraDlg& window = StartDownloadOfAll();
    ASSERT_TRUE(WaitUntil([&] { return window.controller().completedCount() >= 1; }));
    window.OnDownload();
    ASSERT_TRUE(window.WaitUntilIdle(60000));

    // What is on the disk is what was saved; stopped transfers count as failed.
    std::size_t saved = 0;
    for (const std::string& file : FilesBelow(home_ / "save")) saved += file.ends_with(".jpg") ? 1 : 0;
    const DownloadReport report = window.controller().lastReport();
    ASSERT_EQ(report.albums.size(), 1u);
    const std::size_t failed = report.albums[0].failures.size();
    ASSERT_GT(saved, 0u);
    ASSERT_LT(saved + failed, kPictures);
    QString expected = QStringLiteral("已终止：已保存%1张，未下载%2张").arg(saved).arg(kPictures - saved - failed);
    if (failed > 0) expected += QStringLiteral("，失败%1张（点击查看）").arg(failed);
    EXPECT_EQ(Text(IDC_STATUS_PROGRESS), expected);
    EXPECT_EQ(Text(IDC_STATUS_MAIN), QStringLiteral("下载完毕"));
}

TEST_F(DownloadTest, AlbumPageThatCannotBeReadIsNotPassedOverInSilence) {
    ServeMember({"Sea", "Hills"}, {1, 1});
    site_.route(testing::kCommunityHost, "/photo/list_2.html", testsite::Response::Status(404));
    CLumoraDlg& window = StartDownloadOfAll();
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_EQ(Text(IDC_STATUS_PROGRESS), QStringLiteral("本次下载失败0张图片；1个相册页面读取失败"));
}

TEST_F(DownloadTest, RelativeSaveFolderIsTakenUnderTheHomeFolder) {
    ServeMember({"Sea"}, {2});
    const fs::path user = home_ / "user";
    fs::create_directories(user);
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", user.c_str(), 1);
    struct Restore {
        std::string home;
        ~Restore() { setenv("HOME", home.c_str(), 1); }
    } restore{oldHome};

    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    for (const char* typed : {"relpics", "~/tilde"}) {
        window.grid()->SelectAll(true);
        window.savePathBox()->setEditText(QString::fromLatin1(typed));
        window.OnDownload();
        const fs::path folder = user / (typed[0] == '~' ? "tilde" : typed);
        EXPECT_EQ(window.savePathBox()->currentText().toStdString(), folder.string());
        ASSERT_TRUE(window.WaitUntilIdle(60000));
        EXPECT_EQ(FilesBelow(folder).size(), 4u) << typed;  // two pictures, the marker and the manifest
        EXPECT_FALSE(fs::exists(fs::current_path() / typed)) << typed;
    }
}

using PictureModeTest = WindowTest;

TEST_F(PictureModeTest, SwitchDuringARedisplayAsksAndNoKeepsItRunning) {
    ServeMember({"A", "B", "C", "D", "E", "F", "G"}, {1, 1, 1, 1, 1, 1, 1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    auto* box = qobject_cast<QCheckBox*>(window.control(IDC_PICTURE_MODE));
    box->click();
    ASSERT_EQ(window.redisplayState(), 1);
    EXPECT_FALSE(Enabled(IDC_FIND));
    EXPECT_FALSE(Enabled(IDC_FILTER));

    desktop_.answer = false;
    box->click();
    ASSERT_EQ(desktop_.questions, std::vector<QString>{QStringLiteral("提示: 模式转换未完成,是否中断?")});
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(window.redisplayState(), 1);
    ASSERT_TRUE(window.WaitUntilIdle());
    // Seven albums, six to a row.
    EXPECT_EQ(window.grid()->rowCount(), 2);
    EXPECT_EQ(window.grid()->item(1, 0)->text(), QStringLiteral("7.G"));

    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(Enabled(IDC_FIND));
    desktop_.answer = true;
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(window.redisplayState(), 2);
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_FALSE(window.grid()->pictureMode());
}

TEST_F(PictureModeTest, StopAskedForAfterTheRedisplayEndedIsNotLeftPending) {
    ServeMember({"A", "B"}, {1, 1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    auto* box = qobject_cast<QCheckBox*>(window.control(IDC_PICTURE_MODE));
    box->click();
    ASSERT_EQ(window.redisplayState(), 1);
    // The redisplay ends while the question is open, and the answer is yes.
    desktop_.answer = true;
    desktop_.onAsk = [&] { window.WaitUntilIdle(); };
    box->click();
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(window.redisplayState(), 0);
    desktop_.onAsk = nullptr;
    box->click();
    EXPECT_EQ(desktop_.questions.size(), 1u);
    EXPECT_FALSE(window.grid()->pictureMode());
}

using SiteBoxTest = WindowTest;

TEST_F(SiteBoxTest, QqFamilyShowsTheSubTypeBoxAndNarrowsTheAddressBox) {
    CLumoraDlg& window = OpenWindow();
    QComboBox* site = Combo(window, IDC_SITE);
    QComboBox* subType = Combo(window, IDC_SUB_TYPE);
    const auto laidOut = [&] {
        window.centralWidget()->layout()->activate();
        return window.addressBox()->geometry();
    };
    const QRect wide = laidOut();
    EXPECT_TRUE(subType->isHidden());

    site->setCurrentIndex(0);
    emit site->activated(0);
    EXPECT_FALSE(subType->isHidden());
    ASSERT_EQ(subType->count(), 3);
    EXPECT_EQ(subType->currentText(), QStringLiteral("QQ空间相册"));
    const QRect narrow = laidOut();
    EXPECT_GT(narrow.left(), subType->geometry().right());
    EXPECT_EQ(narrow.right(), wide.right());

    site->setCurrentIndex(5);
    emit site->activated(5);
    EXPECT_TRUE(subType->isHidden());
    EXPECT_EQ(laidOut(), wide);
}

TEST_F(SiteBoxTest, TypingAndPickingAddressesRecognisesTheSite) {
    CLumoraDlg& window = OpenWindow();
    QComboBox* site = Combo(window, IDC_SITE);
    QLineEdit* edit = window.addressBox()->lineEdit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("http://qun.qq.com/group"));
    EXPECT_EQ(site->currentIndex(), 0);
    EXPECT_EQ(Combo(window, IDC_SUB_TYPE)->currentIndex(), 1);

    // Without the scheme nothing changes.
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("detail.tmall.com/item"));
    EXPECT_EQ(site->currentIndex(), 0);

    window.addressBox()->AddKnownEntry(QStringLiteral("http://detail.tmall.com/item"));
    window.addressBox()->showPopup();
    window.addressBox()->hidePopup();
    emit window.addressBox()->activated(0);
    EXPECT_EQ(edit->text(), QStringLiteral("http://detail.tmall.com/item"));
    EXPECT_EQ(site->currentIndex(), 11);
    EXPECT_TRUE(Combo(window, IDC_SUB_TYPE)->isHidden());
}

// Sixteen services are recognised, one can be read: the others are named
// before anything is fetched, and the window stays ready for the next address.
TEST_F(SiteBoxTest, AServiceWithoutAnAdapterIsNamedAndNothingIsFetched) {
    CLumoraDlg& window = OpenWindow();
    site_.clearRequests();
    window.addressBox()->lineEdit()->clear();
    QTest::keyClicks(window.addressBox()->lineEdit(), QStringLiteral("https://photo.baidu.com/x"));
    EXPECT_EQ(Combo(window, IDC_SITE)->currentIndex(), 1);
    window.OnGetAlbums();
    ASSERT_TRUE(window.WaitUntilIdle());
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_EQ(desktop_.messages[0], QStringLiteral("暂不支持从「百度相册」下载，目前只支持太平洋摄影部落"));
    EXPECT_TRUE(site_.requests().empty());

    ServeMember({"A"}, {1});
    window.addressBox()->lineEdit()->clear();
    QTest::keyClicks(window.addressBox()->lineEdit(), QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.OnGetAlbums();
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_EQ(window.controller().session().albums.size(), 1u);
}

using KeyboardTest = WindowTest;

TEST_F(KeyboardTest, TheTableIsOneTabStopAndTheShortcutsRunTheirCommands) {
    ServeMember({"Sea", "Hills", "Town"}, {2, 2, 2}, 400ms);
    CLumoraDlg& window = OpenWindow(true, QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F5);
    ASSERT_TRUE(window.WaitUntilIdle());
    ASSERT_EQ(window.grid()->rowCount(), 3);

    // Arrows move, Space picks, Ctrl+A picks all; Tab and Ctrl+Tab leave at once.
    CMyGridCtrl* grid = window.grid();
    grid->setFocus(Qt::TabFocusReason);
    grid->setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
    QTest::keyClick(grid, Qt::Key_Space);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Space);
    EXPECT_EQ(grid->PickedAlbumPositions(), (std::vector<std::size_t>{0, 2}));
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->PickedAlbumPositions().size(), 3u);
    QTest::keyClick(grid, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), grid);
    grid->setFocus(Qt::TabFocusReason);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_NE(QApplication::focusWidget(), grid);

    // Ctrl+D downloads what is picked, Esc stops it as the button's second click does.
    window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
    QTest::keyClick(&window, Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return window.controller().downloadBusy(); }));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(window.controller().session().downloadState, DOWN_STOP);
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_EQ(site_.requestCount("/photo/list_3.html"), 0u);
    EXPECT_TRUE(window.control(IDC_DOWNLOAD)->toolTip().contains(QStringLiteral("Ctrl+D")));

    // The help menu's list of keys does what the keys do.
    const std::size_t listed = site_.requestCount("/m/myphoto_p1_n15.html");
    QMenu* help = window.menuBar()->actions().at(4)->menu();
    help->actions().at(2)->menu()->actions().at(0)->trigger();
    ASSERT_TRUE(window.WaitUntilIdle());
    EXPECT_EQ(site_.requestCount("/m/myphoto_p1_n15.html"), listed + 1);
}

using CloseTest = WindowTest;

TEST_F(CloseTest, ClosingDuringAGetAlbumsRunStopsItBeforeTheNextPage) {
    ServeListPage(1, testing::ListPage("Member", testing::AlbumBlock("1", "Sea", "//x/c.jpg"), true), 300ms);
    ServeListPage(2, testing::ListPage("Member", testing::AlbumBlock("2", "Hills", "//x/d.jpg"), false));
    CLumoraDlg& window = OpenWindow();
    window.addressBox()->setEditText(QStringLiteral("http://dp.pconline.com.cn/m/"));
    window.OnGetAlbums();
    ASSERT_TRUE(WaitUntil([&] { return Text(IDC_GET_ALBUMS) == QStringLiteral("终止获取"); }));
    window.close();
    EXPECT_FALSE(window.busy());
    dialog_.reset();
    EXPECT_EQ(site_.requestCount("/m/myphoto_p2_n15.html"), 0u);
}

TEST_F(CloseTest, ClosingFromInsideAWorkersMessageBoxEnds) {
    CLumoraDlg& window = OpenWindow();
    desktop_.onMessage = [&](const QString&) { window.close(); };
    window.addressBox()->setEditText(QString());
    window.OnGetAlbums();
    ASSERT_TRUE(WaitUntil([&] { return !desktop_.messages.empty(); }));
    dialog_.reset();
    SUCCEED();
}

}  // namespace
}  // namespace lumora::guitest

// The two settings dialogs on their own and as the menu runs them, the
// failure list as the status line opens it after a download, the grid's
// links from the keyboard, and the about box with the run log it names.
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <fstream>
#include <string>

#include "gui/AboutDlg.h"
#include "gui/DlgDownSet.h"
#include "gui/DlgFailures.h"
#include "gui/DlgFind.h"
#include "gui/DlgSaveSet.h"
#include "gui/DlgSavedCheck.h"
#include "gui/GuiText.h"
#include "gui_fixture.h"
#include "settings/SettingsFile.h"

namespace lumora::guitest {
namespace {

template <typename Widget = QLineEdit>
Widget* Part(QWidget* dialog, int id) {
    auto* widget = dialog->findChild<Widget*>(QStringLiteral("control%1").arg(id));
    EXPECT_NE(widget, nullptr) << id;
    return widget;
}

void SetDownloadInput(QWidget* dialog, const char* threads, const char* timeout, const char* min, const char* max) {
    Part(dialog, 1002)->setText(QString::fromLatin1(threads));
    Part(dialog, 1003)->setText(QString::fromLatin1(timeout));
    Part(dialog, 1000)->setText(QString::fromLatin1(min));
    Part(dialog, 1001)->setText(QString::fromLatin1(max));
}

DownloadParams Params(std::uint16_t threads, std::uint16_t timeout) {
    DownloadParams params;
    params.threadCount = threads;
    params.timeoutSeconds = timeout;
    return params;
}

class DownSetTest : public ::testing::Test {
protected:
    // Enters the four texts and presses OK; true when the dialog closed with OK.
    bool Enter(const char* threads, const char* timeout, const char* min = "0", const char* max = "0") {
        CDlgDownSet dialog(params_, app_, desktop_);
        SetDownloadInput(&dialog, threads, timeout, min, max);
        Part<QPushButton>(&dialog, 1023)->click();
        return dialog.result() == QDialog::Accepted;
    }

    DownloadParams params_ = Params(5, 30);
    AppSettings app_;
    FakeDesktop desktop_;
};

TEST_F(DownSetTest, OutOfRangeValuesSayWhichFieldStayOpenAndChangeNothing) {
    const DownloadParams before = params_;
    EXPECT_FALSE(Enter("16", "30"));
    EXPECT_FALSE(Enter("65537", "30"));
    EXPECT_FALSE(Enter("5", "-1"));
    EXPECT_FALSE(Enter("5", "30", "0", "100000"));
    EXPECT_FALSE(Enter("5", "30", "100", "50"));
    EXPECT_EQ(params_, before);
    ASSERT_EQ(desktop_.messages.size(), 5u);
    EXPECT_EQ(desktop_.messages[0], QStringLiteral("参数错误：线程数(1~15)"));
    EXPECT_EQ(desktop_.messages[3], QStringLiteral("参数错误：图片最大值(0~65535K)"));
    for (const QString& message : desktop_.messages) EXPECT_TRUE(message.startsWith(QStringLiteral("参数错误：")));
}

TEST_F(DownSetTest, AcceptedValuesAreStored) {
    EXPECT_TRUE(Enter("15", "65535", "100", "0"));
    EXPECT_EQ(params_.threadCount, 15);
    EXPECT_EQ(params_.timeoutSeconds, 65535);
    EXPECT_EQ(params_.minKB, 100);
    EXPECT_EQ(params_.maxKB, 0);  // no maximum, so no smaller than the minimum
    EXPECT_TRUE(desktop_.messages.empty());
}

using MenuDialogTest = WindowTest;

TEST_F(MenuDialogTest, DownloadSettingsAreSavedOnOkOnly) {
    CLumoraDlg& window = OpenWindow();
    WhenModal<CDlgDownSet>([](CDlgDownSet& dialog) {
        SetDownloadInput(&dialog, "0", "30", "0", "0");
        Part<QPushButton>(&dialog, 1023)->click();
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
    });
    window.OnMenuCommand(32778);
    // Values that failed the check and were abandoned reach no download.
    EXPECT_EQ(window.controller().CurrentDownloadParams(), Params(5, 30));

    WhenModal<CDlgDownSet>([](CDlgDownSet& dialog) {
        SetDownloadInput(&dialog, "7", "45", "1", "900");
        Part<QPushButton>(&dialog, 1023)->click();
    });
    window.OnMenuCommand(32778);
    DownloadParams expected = Params(7, 45);
    expected.minKB = 1;
    expected.maxKB = 900;
    EXPECT_EQ(window.controller().CurrentDownloadParams(), expected);
    EXPECT_EQ(LoadSettings(home_).downloadParams[14], expected);
}

TEST_F(MenuDialogTest, RetriesLimitAndPauseOutsideTheirRangesAreRefusedAndGoodOnesSaved) {
    AppSettings before;
    before.retries = 4;
    before.skipSaved = false;
    before.limitRateKB = 512;
    ASSERT_TRUE(SaveAppSettings(home_, before));
    CLumoraDlg& window = OpenWindow();
    WhenModal<CDlgDownSet>([](CDlgDownSet& dialog) {
        EXPECT_EQ(Part(&dialog, 1004)->text(), QStringLiteral("4"));
        EXPECT_EQ(Part(&dialog, 1005)->text(), QStringLiteral("512"));
        EXPECT_EQ(Part(&dialog, 1006)->text(), QStringLiteral("0"));
        const std::pair<int, const char*> wrong[] = {{1004, "11"}, {1004, "abc"}, {1005, "1000000"}, {1006, "60001"}};
        for (auto [id, text] : wrong) {
            const QString was = Part(&dialog, id)->text();
            Part(&dialog, id)->setText(QString::fromLatin1(text));
            Part<QPushButton>(&dialog, 1023)->click();
            EXPECT_TRUE(dialog.isVisible()) << text;
            Part(&dialog, id)->setText(was);
        }
        Part(&dialog, 1004)->setText(QStringLiteral("0"));
        Part(&dialog, 1005)->setText(QStringLiteral("2048"));
        Part(&dialog, 1006)->setText(QStringLiteral(" 250 "));
        Part<QPushButton>(&dialog, 1023)->click();
    });
    window.OnMenuCommand(32778);
    std::vector<QString> expectedMessages(2, QStringLiteral("参数错误：失败重试次数(0~10)"));
    expectedMessages.push_back(QStringLiteral("参数错误：限速(KB/s，0为不限)"));
    expectedMessages.push_back(QStringLiteral("参数错误：请求间隔(毫秒)"));
    EXPECT_EQ(desktop_.messages, expectedMessages);
    AppSettings expected = before;
    expected.retries = 0;
    expected.limitRateKB = 2048;
    expected.requestDelayMs = 250;
    EXPECT_EQ(LoadAppSettings(home_), expected);
}

TEST(SaveSetTest, StoresEveryFieldCutToThirtyEightCharacters) {
    NameRules rules;
    SetFieldText(rules.fileSuffix, u"_com");
    rules.folderChoice = 1;
    FakeDesktop desktop;
    CDlgSaveSet dialog(rules, desktop);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("设置"));
    EXPECT_EQ(Part(&dialog, 1001)->text(), QStringLiteral("_com"));
    EXPECT_TRUE(Part<QRadioButton>(&dialog, 1016)->isChecked());
    EXPECT_TRUE(Part<QRadioButton>(&dialog, 1020)->isChecked());

    const QString fifty(50, QChar(u'图'));
    Part(&dialog, 1000)->setText(fifty);
    Part(&dialog, 1021)->setText(QStringLiteral("a|b"));
    Part(&dialog, 1022)->setText(QStringLiteral("x|y"));
    Part(&dialog, 1002)->setText(QStringLiteral("?9_"));
    Part(&dialog, 1003)->setText(QStringLiteral("?1"));
    Part<QRadioButton>(&dialog, 1018)->setChecked(true);
    Part<QRadioButton>(&dialog, 1019)->setChecked(true);
    Part<QPushButton>(&dialog, 1023)->click();

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(FieldText(rules.filePrefix), std::u16string(38, u'图'));
    EXPECT_EQ(rules.filePrefix[38], u'\0');
    EXPECT_EQ(FieldText(rules.fileSuffix), u"_com");
    EXPECT_EQ(FieldText(rules.replaceWhat), u"a|b");
    EXPECT_EQ(FieldText(rules.replaceWith), u"x|y");
    EXPECT_EQ(FieldText(rules.folderPrefix), u"?9_");
    EXPECT_EQ(FieldText(rules.folderSuffix), u"?1");
    EXPECT_EQ(rules.baseNameChoice, 2);
    EXPECT_EQ(rules.folderChoice, 0);
}

TEST(SaveSetTest, AStoredChoiceOutsideTheRadiosSurvivesOk) {
    NameRules rules;
    rules.baseNameChoice = 7;  // acts as "序号" when names are built
    FakeDesktop desktop;
    CDlgSaveSet dialog(rules, desktop);
    for (int id : {1016, 1017, 1018}) EXPECT_FALSE(Part<QRadioButton>(&dialog, id)->isChecked());
    Part<QPushButton>(&dialog, 1023)->click();
    EXPECT_EQ(rules.baseNameChoice, 7);
}

TEST(SaveSetTest, ThePreviewFollowsTheRulesAsTheyAreTyped) {
    NameRules rules;
    rules.baseNameChoice = 0;
    FakeDesktop desktop;
    NamePreviewAlbum album;
    album.title = u"海边";
    album.spaceName = u"某人/";
    CDlgSaveSet dialog(rules, desktop, nullptr, album);
    auto* preview = dialog.findChild<QLabel*>(QStringLiteral("namePreview"));
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->text().contains(QStringLiteral("某人/海边/"))) << preview->text().toStdString();
    EXPECT_TRUE(preview->text().contains(QStringLiteral("日落(1).jpg"))) << preview->text().toStdString();
    QTest::keyClicks(Part(&dialog, 1000), QStringLiteral("x_"));
    EXPECT_TRUE(preview->text().contains(QStringLiteral("x_日落.jpg"))) << preview->text().toStdString();
    Part<QRadioButton>(&dialog, 1017)->setChecked(true);  // numbers
    EXPECT_TRUE(preview->text().contains(QStringLiteral("x_2.jpg"))) << preview->text().toStdString();
    EXPECT_EQ(FieldText(rules.filePrefix), u"");  // nothing is stored before OK
}

// The quoted help stands whole; what it leaves out (?8, the replacement
// fields) follows it.
TEST(SaveSetTest, HelpLinkShowsTheEscapeList) {
    NameRules rules;
    FakeDesktop desktop;
    CDlgSaveSet dialog(rules, desktop);
    emit Part<QLabel>(&dialog, 1010)->linkActivated(QStringLiteral("#"));
    ASSERT_EQ(desktop.messages.size(), 1u);
    const QString expected = QStringLiteral(
        "设置前后缀，可以在图片本来的文件名前后加上指定的字符\n如：图片本来的文件名为：lumora."
        "jpg，如果前缀为空，后缀为_com\n"
        "则最后图片名将变为lumora_com.jpg\n如果前缀为www_，后缀为_com\n则最后图片名将变为www_lumora_com.jpg\n"
        "相册名那里前后缀一样\n同时，支持转义字符，当前后缀中含有转义字符时，程序会将转义字符转换为转义字符所表示的字符"
        "串\n"
        "转义字符如下（问号为英文的问号，相册名的转义字符只支持?1,?3,?9）：\n?1:相册名称\n?2:图片在相册中的序号\n"
        "?3:相册在列表中的序号(格式为：1,2,3...)\n?4:未定义\n?5:未定义\n?6:选中的相册数\n"
        "?7:总共的相册数(选中的+未选中的)\n?9:相册在列表中的序号(格式为：0001,0002,0003...)");
    EXPECT_TRUE(desktop.messages[0].startsWith(expected));
    EXPECT_TRUE(desktop.messages[0].mid(expected.size()).contains(QStringLiteral("?8:成员的空间名")));
}

TEST_F(MenuDialogTest, FileNameSettingsKeepTheOptionSwitches) {
    CLumoraDlg& window = OpenWindow();
    window.OnMenuCommand(32800);
    WhenModal<CDlgSaveSet>([](CDlgSaveSet& dialog) {
        Part(&dialog, 1000)->setText(QStringLiteral("?9_"));
        Part<QRadioButton>(&dialog, 1017)->setChecked(true);
        Part<QPushButton>(&dialog, 1023)->click();
    });
    window.OnMenuCommand(32779);
    const NameRules saved = LoadSettings(home_).nameRules[14];
    EXPECT_EQ(FieldText(saved.filePrefix), u"?9_");
    EXPECT_EQ(saved.baseNameChoice, 1);
    EXPECT_EQ(saved.optionFlags, kOptFixPictureFormat);
}

TEST_F(MenuDialogTest, FilterShowsTheMatchingAlbumsOnceThenForgetsTheKeyword) {
    ServeMember({"Sea one", "Hills", "Sea two"}, {1, 1, 1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    WhenModal<CDlgFind>([](CDlgFind& dialog) {
        dialog.findChild<QLineEdit*>(QStringLiteral("edit1639"))->setText(QStringLiteral(" Sea "));
        dialog.findChild<QPushButton*>(QStringLiteral("button1006"))->click();
    });
    emit qobject_cast<QLabel*>(window.control(IDC_FILTER))->linkActivated(QStringLiteral("#"));
    ASSERT_EQ(window.grid()->rowCount(), 2);
    EXPECT_EQ(window.grid()->item(1, 1)->text(), QStringLiteral("Sea two"));
    EXPECT_EQ(window.redisplayState(), 0);
    EXPECT_TRUE(window.grid()->filterKeyword().empty());
}

using GridLinkTest = WindowTest;

TEST_F(GridLinkTest, TabReachesEachLinkWhichEnterAndSpaceRunAsAClickDoes) {
    CLumoraDlg& window = OpenWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const std::vector<QWidget*> links = {window.control(IDC_FIND), window.control(IDC_FILTER),
                                         window.control(IDC_EXPORT)};
    std::vector<QImage> unfocused;
    for (QWidget* link : links) unfocused.push_back(link->grab().toImage());

    // In turn after "预览图", each showing that it has the focus.
    window.control(IDC_PICTURE_MODE)->setFocus(Qt::TabFocusReason);
    for (std::size_t i = 0; i < links.size(); ++i) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), links[i]->objectName());
        EXPECT_TRUE(links[i]->grab().toImage() != unfocused[i]) << "no focus frame on " << i;
    }

    bool filterAsked = false;
    WhenModal<CDlgFind>([&](CDlgFind& dialog) {
        filterAsked = !dialog.findMode();
        dialog.reject();
    });
    QTest::keyClick(links[1], Qt::Key_Space);
    EXPECT_TRUE(filterAsked);

    bool fileAsked = false;
    WhenModal<QFileDialog>([&](QFileDialog& dialog) {
        fileAsked = dialog.acceptMode() == QFileDialog::AcceptSave;
        dialog.reject();
    });
    QTest::keyClick(links[2], Qt::Key_Return);
    EXPECT_TRUE(fileAsked);

    QTest::keyClick(links[0], Qt::Key_Enter);
    auto* find = window.grid()->findChild<CDlgFind*>();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isVisible());
    EXPECT_TRUE(find->findMode());
}

using RunLogTest = WindowTest;

TEST_F(RunLogTest, AboutBoxNamesTheLogWhichKeepsTheRunsFailedPictures) {
    const char* previous = std::getenv("XDG_STATE_HOME");
    struct Restore {
        std::string state;
        ~Restore() { setenv("XDG_STATE_HOME", state.c_str(), 1); }
    } restore{previous ? previous : ""};
    setenv("XDG_STATE_HOME", (home_ / "state").c_str(), 1);
    const std::filesystem::path log = home_ / "state" / "lumora" / "lumora.log";

    ServeMember({"Sea"}, {2});
    site_.route(testing::kPictureHost, "/1/2.jpg", testsite::Response::Status(404));
    CLumoraDlg& window = OpenWindow();
    QString shown;
    WhenModal<CAboutDlg>([&](CAboutDlg& about) {
        if (auto* line = about.findChild<QLabel*>(QStringLiteral("aboutRunLog"))) {
            shown = line->text();
            EXPECT_TRUE(line->textInteractionFlags() & Qt::TextSelectableByMouse);
        }
        about.accept();
    });
    window.OnMenuCommand(ID_ABOUT);
    EXPECT_EQ(shown, QStringLiteral("运行日志：") + QString::fromStdString(log.string()));

    GetAlbums();
    window.grid()->SelectAll(true);
    window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
    window.OnDownload();
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    const DownloadReport report = window.controller().lastReport();
    ASSERT_EQ(report.albums.size(), 1u);
    ASSERT_EQ(report.albums[0].failures.size(), 1u);
    const FailedItem& failure = report.albums[0].failures[0];
    const std::string expected = "failed\t1\t" + WideToUtf8(failure.savePath) +
                                 "\thttp://img.pconline.com.cn/1/2.jpg\t" + WideToUtf8(FailureMessage(failure));

    std::ifstream in(log);
    std::vector<std::string> failed;
    for (std::string line; std::getline(in, line);) {
        if (line.find(" failed\t") != std::string::npos) failed.push_back(line.substr(line.find("failed\t")));
    }
    EXPECT_EQ(failed, std::vector<std::string>{expected});
}

// A window that downloaded every album of the member into home_/save.
class DownloadedWindowTest : public WindowTest {
protected:
    CLumoraDlg& DownloadedWindow() {
        CLumoraDlg& window = OpenWindow();
        GetAlbums();
        window.grid()->SelectAll(true);
        window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
        window.OnDownload();
        EXPECT_TRUE(window.WaitUntilIdle(60000));
        return window;
    }
};

using FailureListTest = DownloadedWindowTest;

TEST_F(FailureListTest, StatusLineOpensTheListWhichCopiesAndRetriesThePicture) {
    ServeMember({"Sea"}, {2});
    site_.route(testing::kPictureHost, "/1/2.jpg", testsite::Response::Status(404));
    CLumoraDlg& window = DownloadedWindow();
    auto* status = qobject_cast<QLabel*>(window.control(IDC_STATUS_PROGRESS));
    EXPECT_EQ(status->text(), QStringLiteral("本次下载失败1张图片（点击查看）"));
    const DownloadReport report = window.controller().lastReport();
    ASSERT_EQ(report.albums.size(), 1u);
    ASSERT_EQ(report.albums[0].failures.size(), 1u);
    const FailedItem failure = report.albums[0].failures[0];
    const QString line =
        QStringList{QStringLiteral("Sea"), ToQString(failure.savePath),
                    QStringLiteral("http://img.pconline.com.cn/1/2.jpg"), ToQString(FailureMessage(failure))}
            .join(QLatin1Char('\t'));

    WhenModal<CDlgFailures>([&](CDlgFailures& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("失败的图片"));
        auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("failureTable"));
        ASSERT_EQ(table->rowCount(), 1);
        QStringList cells;
        for (int column = 0; column < 4; ++column) cells << table->item(0, column)->text();
        EXPECT_EQ(cells.join(QLatin1Char('\t')), line);
        dialog.findChild<QPushButton*>(QStringLiteral("copyFailures"))->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), line + QLatin1Char('\n'));
        EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("copiedFailures"))->text(), QStringLiteral("已复制1行"));
        dialog.resize(700, 450);
        table->setColumnWidth(2, 333);
        dialog.findChild<QPushButton*>(QStringLiteral("closeFailures"))->click();
    });
    QTest::mouseClick(status, Qt::LeftButton);
    EXPECT_FALSE(window.busy());
    // The list opens again as it was left, and the next start finds it so.
    EXPECT_EQ(LoadWindowSettings(home_).failures.geometry->width, 700);
    WhenModal<CDlgFailures>([&](CDlgFailures& dialog) {
        EXPECT_EQ(dialog.size(), QSize(700, 450));
        EXPECT_EQ(dialog.findChild<QTableWidget*>(QStringLiteral("failureTable"))->columnWidth(2), 333);
        dialog.reject();
    });
    QTest::mouseClick(status, Qt::LeftButton);
    QGuiApplication::clipboard()->clear();

    // Fixed on the site; the retry is followed as a download is.
    site_.route(testing::kPictureHost, "/1/2.jpg", testsite::Response::Text("picture /1/2", "image/jpeg"));
    WhenModal<CDlgFailures>(
        [](CDlgFailures& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("retryFailures"))->click(); });
    QTest::keyClick(status, Qt::Key_Return);
    EXPECT_TRUE(window.busy());
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_TRUE(std::filesystem::exists(WideToUtf8(failure.savePath)));
    EXPECT_EQ(site_.requestCount("/1/1.jpg"), 1u);
    EXPECT_EQ(status->text(), QStringLiteral("本次下载失败0张图片"));
    EXPECT_TRUE(window.controller().LastFailures().empty());
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD));
}

using SavedCheckTest = DownloadedWindowTest;

TEST_F(SavedCheckTest, TheHelpMenusCheckReportsAMissingPictureAndItsRepairFetchesItAgain) {
    ServeMember({"Sea"}, {2});
    CLumoraDlg& window = DownloadedWindow();
    const std::filesystem::path removed = home_ / "save" / "Member" / "Sea" / "Sea (2).jpg";
    ASSERT_TRUE(std::filesystem::remove(removed));
    site_.clearRequests();

    WhenModal<CDlgSavedCheck>([&](CDlgSavedCheck& dialog) {
        EXPECT_EQ(dialog.ReportText(), QStringLiteral("缺失\t") + QString::fromStdString(removed.string()) +
                                           QStringLiteral("\n已检查2张图片：1张有问题（缺失1张）\n"));
        dialog.findChild<QPushButton*>(QStringLiteral("repairPictures"))->click();
    });
    for (QAction* top : window.menuBar()->actions()) {
        if (!top->menu()) continue;
        for (QAction* entry : top->menu()->actions()) {
            if (entry->text() == QStringLiteral("检查已下载的相册")) entry->trigger();
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return window.busy(); }));
    ASSERT_TRUE(window.WaitUntilIdle(60000));
    EXPECT_TRUE(std::filesystem::exists(removed));
    EXPECT_EQ(site_.requestCount("/1/2.jpg"), 1u);
    EXPECT_EQ(site_.requestCount("/1/1.jpg"), 0u);
}

}  // namespace
}  // namespace lumora::guitest

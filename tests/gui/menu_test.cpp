// Menu 129: its entries, check marks and grey states from the option
// flags and "lumora.ini", switches saved at once and shown again after a
// restart.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include "app/OptionFlags.h"
#include "gui/login/DlgWebOpen.h"
#include "gui_fixture.h"
#include "settings/SettingsFile.h"

namespace lumora::guitest {
namespace {

QMenu* Popup(CLumoraDlg& window, int index) { return window.menuBar()->actions().at(index)->menu(); }

// The popup's entries as "id text", separators as "-".
std::vector<QString> Entries(QMenu* menu) {
    std::vector<QString> entries;
    for (QAction* action : menu->actions()) {
        entries.push_back(action->isSeparator()
                              ? QStringLiteral("-")
                              : QStringLiteral("%1 %2").arg(MenuActionId(action)).arg(action->text()));
    }
    return entries;
}

// Drops the settings menu down and reads the check mark of `id`.
bool Checked(CLumoraDlg& window, int id) {
    emit Popup(window, 1)->aboutToShow();
    return FindMenuAction(window.menuBar(), id)->isChecked();
}

using MenuTest = WindowTest;

TEST_F(MenuTest, BarHoldsThePopupsInOrder) {
    CLumoraDlg& window = OpenWindow();
    const QList<QAction*> top = window.menuBar()->actions();
    ASSERT_EQ(top.size(), 5);
    EXPECT_EQ(top[0]->text(), QStringLiteral("登录"));
    EXPECT_EQ(top[2]->text(), QStringLiteral("导入/导出"));
    EXPECT_FALSE(top[2]->isEnabled());
    EXPECT_EQ(top[3]->text(), QString(13, QLatin1Char(' ')));
    EXPECT_FALSE(top[3]->isEnabled());
    EXPECT_EQ(top[3]->menu(), nullptr);
    // Help lists the keys beside its one entry.
    const std::vector<QString> help = Entries(Popup(window, 4));
    ASSERT_EQ(help.size(), 5u);
    EXPECT_EQ(help[0], QStringLiteral("32775 版本信息"));
    EXPECT_EQ(help[3], QStringLiteral("0 检查网站格式"));
    EXPECT_EQ(help[4], QStringLiteral("0 检查已下载的相册"));
    QMenu* keys = Popup(window, 4)->actions().at(2)->menu();
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(Entries(keys),
              (std::vector<QString>{QStringLiteral("0 获取相册\tF5"), QStringLiteral("0 下载\tCtrl+D"),
                                    QStringLiteral("0 终止获取或下载\tEsc"), QStringLiteral("0 查找\tCtrl+F"),
                                    QStringLiteral("0 导出\tCtrl+E")}));
    EXPECT_EQ(Entries(Popup(window, 2)),
              (std::vector<QString>{QStringLiteral("32811 导入下载文件并开始下载"), QStringLiteral("-"),
                                    QStringLiteral("32809 导出下载文件"), QStringLiteral("32810 导出迅雷下载列表")}));
    const std::vector<QString> settings = Entries(Popup(window, 1));
    const std::vector<QString> expected = {
        QStringLiteral("32778 下载参数设置"),
        QStringLiteral("32779 文件名设置"),
        QStringLiteral("-"),
        QStringLiteral("32802 只生成迅雷下载列表"),
        QStringLiteral("32804 生成图片原始名文件"),
        QStringLiteral("-"),
        QStringLiteral("32799 修正图片顺序"),
        QStringLiteral("32800 修正图片格式"),
        QStringLiteral("32774 不下载以前下载过的图片"),
        QStringLiteral("32812 下载完成后打开保存路径"),
        QStringLiteral("-"),
        QStringLiteral("32808 只下载淘宝宝贝主图"),
        QStringLiteral("32814 只下载宝贝描述里的图片"),
        QStringLiteral("32776 又拍相册下载大图（不勾选为下载原图，下载原图速度更慢）"),
        QStringLiteral("-"),
        QStringLiteral("32815 跳过下载记录中已保存的图片"),
        QStringLiteral("32816 不再下载已删除的图片"),
        QStringLiteral("32817 生成相册清单"),
    };
    EXPECT_EQ(settings, expected);
    const std::vector<QString> login = Entries(Popup(window, 0));
    ASSERT_EQ(login.size(), 11u);
    EXPECT_EQ(login[0], QStringLiteral("32781 QQ空间/QQ群"));
    EXPECT_EQ(login[8], QStringLiteral("32803 淘宝（强烈建议用小号登录）"));
    EXPECT_EQ(login[10], QStringLiteral("32795 自定义登录"));
}

TEST_F(MenuTest, CheckMarksFollowTheFlagsAndSurviveARestart) {
    CLumoraDlg& window = OpenWindow();
    EXPECT_FALSE(Checked(window, 32800));
    FindMenuAction(window.menuBar(), 32800)->trigger();
    window.OnMenuCommand(32812);
    EXPECT_TRUE(Checked(window, 32800));
    EXPECT_TRUE(Checked(window, 32812));
    EXPECT_FALSE(Checked(window, 32799));
    // Saved at once, not at close.
    EXPECT_EQ(LoadSettings(home_).nameRules[14].optionFlags, kOptFixPictureFormat | kOptOpenFolderWhenDone);

    window.OnMenuCommand(32812);
    CLumoraDlg& restarted = OpenWindow();
    EXPECT_TRUE(Checked(restarted, 32800));
    EXPECT_FALSE(Checked(restarted, 32812));
}

TEST_F(MenuTest, SkipSavedFollowsTheIniFileAndAFailedSaveIsSaid) {
    CLumoraDlg& window = OpenWindow();
    EXPECT_TRUE(Checked(window, ID_SKIP_SAVED));
    FindMenuAction(window.menuBar(), ID_SKIP_SAVED)->trigger();
    EXPECT_FALSE(LoadAppSettings(home_).skipSaved);
    EXPECT_EQ(LoadAppSettings(home_).retries, 0u);
    EXPECT_FALSE(Checked(window, ID_SKIP_SAVED));
    // Changed elsewhere (the command line): the next drop-down shows it.
    AppSettings settings;
    settings.skipSaved = true;
    ASSERT_TRUE(SaveAppSettings(home_, settings));
    EXPECT_TRUE(Checked(window, ID_SKIP_SAVED));
    EXPECT_TRUE(desktop_.messages.empty());
    EXPECT_FALSE(Checked(window, ID_SKIP_DELETED));
    FindMenuAction(window.menuBar(), ID_SKIP_DELETED)->trigger();
    EXPECT_TRUE(LoadAppSettings(home_).skipDeleted);
    EXPECT_TRUE(LoadAppSettings(home_).skipSaved);
    EXPECT_TRUE(Checked(window, ID_WRITE_MANIFEST));
    FindMenuAction(window.menuBar(), ID_WRITE_MANIFEST)->trigger();
    EXPECT_FALSE(LoadAppSettings(home_).writeManifest);
    EXPECT_TRUE(LoadAppSettings(home_).skipDeleted);

    // A link to a file that no one can replace (root included): the save
    // fails, and says where.
    const std::filesystem::path ini = home_ / kAppSettingsFileName;
    std::filesystem::remove(ini);
    std::filesystem::create_symlink("/proc/version", ini);
    window.OnMenuCommand(ID_SKIP_SAVED);
    ASSERT_EQ(desktop_.messages.size(), 1u);
    EXPECT_TRUE(desktop_.messages[0].startsWith(QStringLiteral("设置保存失败：") +
                                                QString::fromStdString(ini.string()) + QStringLiteral("（")))
        << desktop_.messages[0].toStdString();
}

TEST_F(MenuTest, OtherSitesSwitchesAreGreyedAndCannotBeChanged) {
    CLumoraDlg& window = OpenWindow();
    emit Popup(window, 1)->aboutToShow();
    for (int id : {32776, 32808, 32814}) {
        EXPECT_FALSE(FindMenuAction(window.menuBar(), id)->isEnabled()) << id;
        window.OnMenuCommand(id);
    }
    for (int id : {32774, 32799, 32800, 32802, 32804, 32812}) {
        EXPECT_TRUE(FindMenuAction(window.menuBar(), id)->isEnabled()) << id;
    }
    EXPECT_EQ(window.controller().CurrentNameRules().optionFlags, 0);
}

TEST(OptionExclusionTest, TheTwoItemSwitchesExcludeEachOther) {
    std::uint16_t flags = kOptItemDescriptionPicturesOnly | kOptFixPictureFormat;
    ASSERT_TRUE(ToggleOption(flags, 32808));
    EXPECT_EQ(flags, kOptItemMainPicturesOnly | kOptFixPictureFormat);
    ASSERT_TRUE(ToggleOption(flags, 32814));
    EXPECT_EQ(flags, kOptItemDescriptionPicturesOnly | kOptFixPictureFormat);
    // Switching one off leaves the other off.
    ASSERT_TRUE(ToggleOption(flags, 32814));
    EXPECT_EQ(flags, kOptFixPictureFormat);
    EXPECT_TRUE(IsOptionEnabled(32808, 11));
    EXPECT_FALSE(IsOptionEnabled(32776, 11));
    EXPECT_TRUE(IsOptionEnabled(32776, 7));
}

TEST_F(MenuTest, LogInEntriesOpenOneBrowserAtATime) {
    CLumoraDlg& window = OpenWindow();
    window.OnMenuCommand(32795);  // custom log-in: a blank start page, no network
    lumora::gui::CDlgWebOpen* first = lumora::gui::CurrentLoginBrowser();
    ASSERT_NE(first, nullptr);
    QPointer<lumora::gui::CDlgWebOpen> firstAlive(first);
    window.OnMenuCommand(32795);
    lumora::gui::CDlgWebOpen* second = lumora::gui::CurrentLoginBrowser();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(firstAlive.isNull());
    second->close();
    // Ids of the range without an entry do nothing.
    window.OnMenuCommand(32772);
    window.OnMenuCommand(32809);
    EXPECT_TRUE(desktop_.messages.empty());
}

}  // namespace
}  // namespace lumora::guitest

// The history combo boxes: completion in lower case, the drop-down, and the
// save-folder history fed by the picker and by dropped files.
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <cstdlib>
#include <fstream>

#include "gui/ComboBox2.h"
#include "gui/GuiText.h"
#include "gui_fixture.h"
#include "settings/SettingsFile.h"

namespace lumora::guitest {
namespace {

TEST(ComboBox2Test, TypedTextListsMatchingEntriesInLowerCase) {
    CComboBox2 box;
    box.SetKnownEntries(
        {QStringLiteral("http://dp.pconline.com.cn/Alice/"), QStringLiteral("http://x.cn/BOB/"),
         QStringLiteral("http://dp.pconline.com.cn/alice2/") + CComboBox2::kEndMarker + QStringLiteral("hidden")});
    box.show();
    QTest::keyClicks(box.lineEdit(), QStringLiteral("ALI"));
    EXPECT_EQ(box.completionEntries(), (QStringList{QStringLiteral("http://dp.pconline.com.cn/alice/"),
                                                    QStringLiteral("http://dp.pconline.com.cn/alice2/")}));
    EXPECT_TRUE(box.completionShown());
    // What was typed stays as typed.
    EXPECT_EQ(box.currentText(), QStringLiteral("ALI"));
    EXPECT_EQ(box.lineEdit()->cursorPosition(), 3);

    QTest::keyClicks(box.lineEdit(), QStringLiteral("zz"));
    EXPECT_TRUE(box.completionEntries().isEmpty());
    EXPECT_FALSE(box.completionShown());
}

TEST(ComboBox2Test, DropDownListsTheEntriesAsStoredAndKeepsTheText) {
    CComboBox2 box;
    box.SetKnownEntries({QStringLiteral("/Photos/A/"), QStringLiteral("/b/")});
    box.AddKnownEntry(QStringLiteral("/c/"));
    box.setEditText(QStringLiteral("typed"));
    box.show();
    box.showPopup();
    ASSERT_EQ(box.count(), 3);
    EXPECT_EQ(box.itemText(0), QStringLiteral("/Photos/A/"));
    EXPECT_EQ(box.currentText(), QStringLiteral("typed"));
    box.hidePopup();
}

using SaveFolderTest = WindowTest;

TEST_F(SaveFolderTest, PickedFoldersEnterTheHistoryOnceNewestFirst) {
    CLumoraDlg& window = OpenWindow();
    const QString base = QString::fromStdString(home_.string());
    desktop_.folders = {base + "/One",  base + "/one/", base + "/Two", base + "/Three",
                        base + "/Four", base + "/Five", base + "/Six"};
    window.ChooseSaveFolder();
    EXPECT_EQ(desktop_.pickerTitles, std::vector<QString>{QStringLiteral("请选择文件保存目录：")});
    EXPECT_EQ(window.savePathBox()->currentText(), base + "/One/");
    window.ChooseSaveFolder();  // the same folder in other letters
    EXPECT_EQ(window.savePathBox()->currentText(), base + "/one/");
    EXPECT_EQ(window.savePathBox()->knownEntries().size(), 1);
    EXPECT_EQ(HistoryText(LoadSettings(home_), HistoryKind::SaveFolder, 1), u"");

    for (int i = 0; i < 5; ++i) window.ChooseSaveFolder();
    const SettingsBlock saved = LoadSettings(home_);
    EXPECT_EQ(ToQString(HistoryText(saved, HistoryKind::SaveFolder, 0)), base + "/Six/");
    EXPECT_EQ(ToQString(HistoryText(saved, HistoryKind::SaveFolder, 4)), base + "/Two/");
    desktop_.folders.clear();
    window.ChooseSaveFolder();  // cancelled
    EXPECT_EQ(window.savePathBox()->currentText(), base + "/Six/");
}

TEST_F(SaveFolderTest, DroppedFileStandsForItsFolder) {
    CLumoraDlg& window = OpenWindow();
    window.DropPath(QStringLiteral("/data/pictures/sunset.jpg"));
    EXPECT_EQ(window.savePathBox()->currentText(), QStringLiteral("/data/pictures/"));
    window.DropPath(QStringLiteral("/data/new"));
    EXPECT_EQ(window.savePathBox()->currentText(), QStringLiteral("/data/new/"));
    // A name that is not there is taken for a file when its last part has a ".".
    window.DropPath(QStringLiteral("/data/v1.2"));
    EXPECT_EQ(window.savePathBox()->currentText(), QStringLiteral("/data/"));

    window.DropPath(QStringLiteral("/DATA/PICTURES/"));
    const SettingsBlock saved = LoadSettings(home_);
    EXPECT_EQ(HistoryText(saved, HistoryKind::SaveFolder, 0), u"/data/");
    EXPECT_EQ(HistoryText(saved, HistoryKind::SaveFolder, 2), u"/data/pictures/");
    EXPECT_EQ(HistoryText(saved, HistoryKind::SaveFolder, 3), u"");

    // A folder that is there is taken whole, whatever its name.
    const std::string versioned = (home_ / "v1.2").string();
    std::filesystem::create_directory(versioned);
    window.DropPath(QString::fromStdString(versioned));
    EXPECT_EQ(window.savePathBox()->currentText().toStdString(), versioned + "/");
}

TEST_F(SaveFolderTest, DropEventsReachTheSaveFolder) {
    CLumoraDlg& window = OpenWindow();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/srv/photos/a.png"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);
    EXPECT_EQ(window.savePathBox()->currentText(), QStringLiteral("/srv/photos/"));
}

// A dropped web address replaces what the address box held, on its field or
// anywhere on the window; other dropped text is the field's own business.
TEST_F(SaveFolderTest, ADroppedAddressReplacesTheAddressBoxText) {
    CLumoraDlg& window = OpenWindow();
    QLineEdit* field = window.addressBox()->lineEdit();
    window.addressBox()->setEditText(QStringLiteral("hello"));
    const auto drop = [](QObject* target, const QMimeData& data) {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    };
    QMimeData text;
    text.setText(QStringLiteral(" https://photo.baidu.com/x "));
    EXPECT_TRUE(drop(field, text));
    EXPECT_EQ(window.addressBox()->currentText(), QStringLiteral("https://photo.baidu.com/x"));
    EXPECT_EQ(qobject_cast<QComboBox*>(window.control(IDC_SITE))->currentIndex(), 1);  // recognised

    QMimeData link;
    link.setUrls({QUrl(QStringLiteral("http://dp.pconline.com.cn/m/"))});
    EXPECT_TRUE(drop(&window, link));
    EXPECT_EQ(window.addressBox()->currentText(), QStringLiteral("http://dp.pconline.com.cn/m/"));
    EXPECT_EQ(qobject_cast<QComboBox*>(window.control(IDC_SITE))->currentIndex(), 14);
    EXPECT_EQ(window.savePathBox()->currentText().toStdString(), DefaultSaveFolder().string());
}

TEST_F(SaveFolderTest, OpenShowsTheSaveFolder) {
    CLumoraDlg& window = OpenWindow();
    window.savePathBox()->setEditText(QStringLiteral("/srv/photos/"));
    window.OpenSaveFolder();
    window.savePathBox()->setEditText(QString());
    window.OpenSaveFolder();
    EXPECT_EQ(desktop_.opened, std::vector<QString>{QStringLiteral("/srv/photos/")});
}

TEST_F(SaveFolderTest, FolderThatCannotBeOpenedIsNamedInAMessage) {
    const std::filesystem::path folder = home_ / "photos";
    const std::filesystem::path bin = home_ / "bin";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(bin);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    CLumoraDlg& window = OpenWindow();
    desktop_.realOpener = true;
    window.savePathBox()->setEditText(QString::fromStdString(folder.string()));
    const QString expected = QStringLiteral("无法打开文件夹：") + QString::fromStdString(folder.string());

    // No opener at all.
    setenv("PATH", bin.c_str(), 1);
    window.OpenSaveFolder();
    // An opener that reports failure.
    const std::filesystem::path opener = bin / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nexit 4\n";
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    window.OpenSaveFolder();
    const bool said = WaitUntil([&] { return desktop_.messages.size() >= 2; });
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(said);
    for (const QString& message : desktop_.messages) EXPECT_TRUE(message.startsWith(expected)) << message.toStdString();
}

}  // namespace
}  // namespace lumora::guitest

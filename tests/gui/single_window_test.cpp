// One window per program folder: a later start finds the first, asks it to
// come to the front, and takes over the socket a crashed window left.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <cstring>
#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "gui/SingleWindow.h"
#include "gui_fixture.h"
#include "settings/settings_test_support.h"

namespace lumora::guitest {
namespace {

using SingleWindowTest = testing::ScratchFolderTest;

TEST_F(SingleWindowTest, ALaterStartFindsTheFirstAndBringsItToTheFront) {
    CSingleWindow first(dir_);
    ASSERT_FALSE(first.OtherIsRunning());
    ASSERT_TRUE(first.Listen());
    int asked = 0;
    QObject::connect(&first, &CSingleWindow::frontRequested, [&] { ++asked; });

    // The later start blocks on its answer, as it does before its window
    // exists; the first answers from its event loop here.
    auto later = std::async(std::launch::async, [folder = dir_ / "." / ""] {
        CSingleWindow second(folder);  // the same folder by another spelling
        return std::pair{second.OtherIsRunning(), second.BringOtherToFront()};
    });
    ASSERT_TRUE(WaitUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(later.get(), (std::pair{true, true}));
    EXPECT_EQ(asked, 1);

    // Another folder is another window.
    EXPECT_FALSE(CSingleWindow(dir_ / "other").OtherIsRunning());
}

TEST_F(SingleWindowTest, TheSocketOfACrashedWindowIsTakenOver) {
    CSingleWindow crashed(dir_);
    // A socket file that nobody listens on, as a killed window leaves it.
    const QByteArray path = crashed.socketName().toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);

    CSingleWindow next(dir_);
    EXPECT_FALSE(next.OtherIsRunning());
    EXPECT_TRUE(next.Listen());
    EXPECT_TRUE(CSingleWindow(dir_).OtherIsRunning());
}

TEST_F(SingleWindowTest, TheQuestionOffersTheFrontAndEscapeKeepsToOneWindow) {
    WhenModal<QMessageBox>([](QMessageBox& box) {
        EXPECT_TRUE(box.text().startsWith(QStringLiteral("另一个Lumora窗口正在运行。")));
        for (QAbstractButton* button : box.buttons()) {
            if (button->text() == QStringLiteral("仍然打开")) button->click();
        }
    });
    EXPECT_EQ(AskAboutOtherWindow(nullptr, dir_), OtherWindowChoice::OpenAnyway);
    WhenModal<QMessageBox>([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    EXPECT_EQ(AskAboutOtherWindow(nullptr, dir_), OtherWindowChoice::BringToFront);
}

}  // namespace
}  // namespace lumora::guitest

// The notification class against a notifications service of the test's own,
// on a private session bus that the test starts (skipped when none starts).
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <mutex>

#include "gui/DesktopNotice.h"
#include "gui_fixture.h"

namespace lumora::guitest {
namespace {

// Answers Notify as a desktop's service does, on a thread of its own, so
// that the window's blocking call gets its answer.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    std::mutex mutex;
    QString summary, body;
    QStringList actions;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& shownSummary, const QString& shownBody,
                const QStringList& shownActions, const QVariantMap&, int) {
        std::lock_guard lock(mutex);
        summary = shownSummary;
        body = shownBody;
        actions = shownActions;
        return 42;
    }
};

class DesktopNoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) {
            GTEST_SKIP() << "no session bus could be started (dbus-daemon)";
        }
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        serviceThread_.start();
        service_.moveToThread(&serviceThread_);
        QDBusConnection serviceBus = QDBusConnection::connectToBus(address_, QStringLiteral("fake-notifications"));
        ASSERT_TRUE(serviceBus.isConnected());
        ASSERT_TRUE(serviceBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service_,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serviceBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("window"));
        serviceThread_.quit();
        serviceThread_.wait();
        daemon_.kill();
        daemon_.waitForFinished();
    }

    QProcess daemon_;
    QString address_;
    QThread serviceThread_;
    FakeNotifications service_;
};

TEST_F(DesktopNoticeTest, ShowsTheSummaryAndAClickOnItComesBack) {
    const QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("window"));
    CDesktopNotice notice(bus);
    std::atomic<bool> clicked{false};
    QObject::connect(&notice, &CDesktopNotice::clicked, [&] { clicked = true; });
    ASSERT_TRUE(notice.Show(QStringLiteral("Lumora：下载完毕：已保存12张"), QStringLiteral("本次下载失败0张图片")));
    {
        std::lock_guard lock(service_.mutex);
        EXPECT_EQ(service_.summary, QStringLiteral("Lumora：下载完毕：已保存12张"));
        EXPECT_EQ(service_.body, QStringLiteral("本次下载失败0张图片"));
        EXPECT_TRUE(service_.actions.contains(QStringLiteral("default")));
    }

    // Another notification's click is not ours; our own's is.
    QDBusConnection serviceBus = QDBusConnection(QStringLiteral("fake-notifications"));
    const auto click = [&](uint id) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        serviceBus.send(signal);
    };
    click(7);
    click(42);
    EXPECT_TRUE(WaitUntil([&] { return clicked.load(); }, 5000));

    // Without a service nothing is shown, and nothing hangs.
    ASSERT_TRUE(serviceBus.unregisterService(QStringLiteral("org.freedesktop.Notifications")));
    EXPECT_FALSE(notice.Show(QStringLiteral("x"), QStringLiteral("y")));
}

}  // namespace
}  // namespace lumora::guitest

#include "desktop_notice_test.moc"

#include "gui/DesktopNotice.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that does not answer at once is not worth holding the window for.
constexpr int kCallTimeoutMs = 2000;
// What SLOT(OnActionInvoked(uint,QString)) makes, in the normalised form the
// bus's connect looks the slot up by.
constexpr char kActionSlot[] = "1OnActionInvoked(uint,QString)";

}  // namespace

CDesktopNotice::CDesktopNotice(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {
    if (bus_.isConnected()) {
        // From any sender: the id tells our notification from others.
        bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this, kActionSlot);
    }
}

bool CDesktopNotice::Show(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) return false;
    QDBusInterface service(kService, kPath, kInterface, bus_);
    if (!service.isValid()) return false;
    service.setTimeout(kCallTimeoutMs);
    // "default" is the action of a click on the notification itself.
    const QStringList actions{QStringLiteral("default"), QStringLiteral("打开")};
    const QDBusReply<uint> reply = service.call(QStringLiteral("Notify"), QStringLiteral("Lumora"), uint{0},
                                                QStringLiteral("lumora"), summary, body, actions, QVariantMap(), -1);
    if (!reply.isValid()) return false;
    shownId_ = reply.value();
    return true;
}

void CDesktopNotice::OnActionInvoked(uint id, const QString&) {
    if (shownId_ != 0 && id == shownId_) emit clicked();
}

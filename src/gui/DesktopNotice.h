// A desktop notification through the freedesktop notifications service
// (org.freedesktop.Notifications on the session bus). Where no service
// answers nothing is shown and nothing waits long. A click on a shown
// notification emits clicked().
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

class CDesktopNotice : public QObject {
    Q_OBJECT

public:
    explicit CDesktopNotice(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // True when a service took it.
    bool Show(const QString& summary, const QString& body);

signals:
    void clicked();

private slots:
    void OnActionInvoked(uint id, const QString& action);

private:
    QDBusConnection bus_;
    uint shownId_ = 0;
};

// The login browser's side of the program's one cookie store: a browser
// profile of the program's own, whose cookies go into CookieStore as the
// browser receives them and come back from it when the profile starts.
#pragma once

#include <QNetworkCookie>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include "web/CookieStore.h"

class QWebEngineCookieStore;
class QWebEngineProfile;

namespace lumora::gui {

// Lets Chromium start here: it will not start as root with its sandbox on,
// so for root the sandbox is switched off (QTWEBENGINE_DISABLE_SANDBOX=1)
// unless the environment already decides. Call before the first profile.
void PrepareWebEngine();

// The program's browser profile, made on first use: its storage lives in
// ProgramFolder()/browser/, its cookies are bridged with CookieStore.
QWebEngineProfile* LoginProfile();
// Deletes that profile (no page may use it any more); the next LoginProfile()
// starts a new one from CookieStore, as after a restart.
void ReleaseLoginProfile();

// False for a cookie that the cookie file cannot carry (no name, or a tab
// or line break in it).
bool ToStoreCookie(const QNetworkCookie& from, Cookie& to);
QNetworkCookie ToBrowserCookie(const Cookie& cookie);
// The address a cookie is set for: its host, over https when it is secure.
QUrl BrowserCookieOrigin(const Cookie& cookie);

class CCookieBridge : public QObject {
    Q_OBJECT

public:
    // Feeds every cookie of CookieStore into `browserCookies` and from then
    // on mirrors the browser's additions and removals into CookieStore.
    CCookieBridge(QWebEngineCookieStore* browserCookies, QObject* parent);
    ~CCookieBridge() override;

private:
    void OnAdded(const QNetworkCookie& cookie);
    void OnRemoved(const QNetworkCookie& cookie);
    void SaveSoon();

    QTimer saveTimer_;
};

}  // namespace lumora::gui

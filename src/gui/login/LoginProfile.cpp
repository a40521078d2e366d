#include "gui/login/LoginProfile.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include <algorithm>
#include <string>

#include "settings/SettingsFile.h"

namespace lumora::gui {

namespace {

QWebEngineProfile* g_profile = nullptr;
CCookieBridge* g_bridge = nullptr;

std::string BareDomain(const std::string& domain) { return domain.starts_with('.') ? domain.substr(1) : domain; }

bool FitsCookieFile(const QByteArray& text) {
    return !text.contains('\t') && !text.contains('\n') && !text.contains('\r');
}

}  // namespace

void PrepareWebEngine() {
    if (getuid() != 0) return;
    if (qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) return;
    if (qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").contains(QStringLiteral("--no-sandbox"))) return;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

QWebEngineProfile* LoginProfile() {
    if (g_profile) return g_profile;
    PrepareWebEngine();
    const QString root = QDir(QString::fromStdString((ProgramFolder() / "browser").string())).absolutePath();
    g_profile = new QWebEngineProfile(QStringLiteral("lumora"));
    g_profile->setPersistentStoragePath(root + QStringLiteral("/storage"));
    g_profile->setCachePath(root + QStringLiteral("/cache"));
    // The program's cookie file is the only one: Chromium's own database would
    // come back after a restart without reporting its cookies, and could
    // bring back cookies that the fetcher's responses have deleted since.
    g_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    g_bridge = new CCookieBridge(g_profile->cookieStore(), g_profile);

    // Registered after Qt WebEngine's own clean-up, so it runs before it.
    static bool registered = false;
    if (!registered) {
        registered = true;
        qAddPostRoutine(ReleaseLoginProfile);
    }
    return g_profile;
}

void ReleaseLoginProfile() {
    // The bridge goes first, so nothing the profile does while it shuts down
    // reaches the program's store.
    delete g_bridge;
    g_bridge = nullptr;
    delete g_profile;
    g_profile = nullptr;
}

bool ToStoreCookie(const QNetworkCookie& from, Cookie& to) {
    if (from.name().isEmpty() || from.domain().isEmpty()) return false;
    if (!FitsCookieFile(from.name()) || !FitsCookieFile(from.value())) return false;
    to = Cookie{};
    to.domain = from.domain().toStdString();
    // Chromium writes a host-only cookie's domain without the leading dot.
    to.includeSubdomains = to.domain.starts_with('.');
    to.path = from.path().isEmpty() ? std::string("/") : from.path().toStdString();
    to.secure = from.isSecure();
    to.httpOnly = from.isHttpOnly();
    // 0 would make it a session cookie; 1 keeps a long-gone date expired.
    to.expires = from.isSessionCookie() ? 0 : std::max<qint64>(1, from.expirationDate().toSecsSinceEpoch());
    to.name = from.name().toStdString();
    to.value = from.value().toStdString();
    return true;
}

QNetworkCookie ToBrowserCookie(const Cookie& cookie) {
    QNetworkCookie to(QByteArray::fromStdString(cookie.name), QByteArray::fromStdString(cookie.value));
    // No domain attribute keeps a cookie host-only: the origin gives its host.
    if (cookie.includeSubdomains) to.setDomain(QString::fromStdString("." + BareDomain(cookie.domain)));
    to.setPath(QString::fromStdString(cookie.path.empty() ? std::string("/") : cookie.path));
    to.setSecure(cookie.secure);
    to.setHttpOnly(cookie.httpOnly);
    if (!cookie.isSession()) to.setExpirationDate(QDateTime::fromSecsSinceEpoch(cookie.expires, Qt::UTC));
    return to;
}

QUrl BrowserCookieOrigin(const Cookie& cookie) {
    QUrl origin;
    origin.setScheme(cookie.secure ? QStringLiteral("https") : QStringLiteral("http"));
    origin.setHost(QString::fromStdString(BareDomain(cookie.domain)));
    origin.setPath(QStringLiteral("/"));
    return origin;
}

CCookieBridge::CCookieBridge(QWebEngineCookieStore* browserCookies, QObject* parent) : QObject(parent) {
    saveTimer_.setSingleShot(true);
    saveTimer_.setInterval(0);
    connect(&saveTimer_, &QTimer::timeout, this, [] { CookieStore::Instance().Save(); });

    connect(browserCookies, &QWebEngineCookieStore::cookieAdded, this, &CCookieBridge::OnAdded);
    connect(browserCookies, &QWebEngineCookieStore::cookieRemoved, this, &CCookieBridge::OnRemoved);

    // Chromium holds these until its network side starts with the first page
    // load, and takes them before that page's request.
    for (const Cookie& cookie : CookieStore::Instance().All()) {
        if (!cookie.name.empty()) browserCookies->setCookie(ToBrowserCookie(cookie), BrowserCookieOrigin(cookie));
    }
}

CCookieBridge::~CCookieBridge() {
    if (saveTimer_.isActive()) CookieStore::Instance().Save();
}

void CCookieBridge::OnAdded(const QNetworkCookie& cookie) {
    Cookie stored;
    if (!ToStoreCookie(cookie, stored)) return;
    CookieStore::Instance().Add(stored);
    SaveSoon();
}

void CCookieBridge::OnRemoved(const QNetworkCookie& cookie) {
    Cookie stored;
    if (!ToStoreCookie(cookie, stored)) return;
    CookieStore::Instance().Remove(stored.domain, stored.path, stored.name);
    SaveSoon();
}

void CCookieBridge::SaveSoon() {
    // One save for a burst of changes: a login sets many cookies at once.
    saveTimer_.start();
}

}  // namespace lumora::gui

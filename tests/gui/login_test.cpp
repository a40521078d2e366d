// The login browser against the loopback site: its cookies reach the
// fetcher at once, persistent ones survive a restart on both sides, and
// cookies the site deletes stop being sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "gui/login/DlgWebOpen.h"
#include "testsite/TestSite.h"
#include "web/CookieStore.h"
#include "web/Fetch.h"

#if LUMORA_LOGIN_BROWSER
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "gui/login/LoginProfile.h"
#endif

namespace lumora::gui {
namespace {

using testsite::Request;
using testsite::Response;

// One program folder for the whole run (the browser profile keeps its path),
// and Chromium without a GPU, as on a build machine.
const std::filesystem::path kHome = [] {
    auto path = std::filesystem::temp_directory_path() / ("lumora-login-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    setenv("LUMORA_HOME", path.c_str(), 1);
    setenv("QTWEBENGINE_CHROMIUM_FLAGS", (qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --disable-gpu").constData(), 1);
    // After main: the browser writes into it until the application is gone.
    static const auto* const kept = new std::filesystem::path(path);
    std::atexit([] { std::filesystem::remove_all(*kept); });
    return path;
}();

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QTest::qWait(5);
    }
    return true;
}

class LoginBrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(cookieFile_);
#if LUMORA_LOGIN_BROWSER
        // A fresh browser each time: the site's port changes, its host does not.
        ReleaseLoginProfile();
#endif
        CookieStore::Instance().Clear();
        CookieStore::Instance().BindFile(cookieFile_);
        site_.route("", "/login",
                    Response::Text("welcome")
                        .Header("Set-Cookie", "sid=s1; Path=/")
                        .Header("Set-Cookie", "keep=k1; Path=/; Max-Age=3600; HttpOnly"));
        site_.route("", "/relogin", Response::Text("again").Header("Set-Cookie", "keep=k2; Path=/; Max-Age=3600"));
        site_.route("", "/logout",
                    Response::Text("bye").Header("Set-Cookie", "keep=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"));
        site_.route("", "/echo", [](const Request& r) { return Response::Text("cookies:" + r.header("Cookie")); });
    }
    void TearDown() override {
        delete CurrentLoginBrowser();
        CookieStore::Instance().Clear();
        CookieStore::Instance().BindFile({});
    }

    QString Url(const std::string& path) const { return QString::fromStdString(site_.baseUrl() + path); }

    // The Cookie header a fetch from a worker thread carries.
    std::string SentByFetcher() {
        std::string sent = "<fetch failed>";
        std::thread worker([&] {
            FetchRequest request(Url("/echo").toStdU16String(), u"", 5000);
            FetchResult result;
            if (FetchPage(request, result, 0)) sent = result.body;
        });
        worker.join();
        return sent;
    }

    std::string SavedFile() const {
        std::ifstream in(cookieFile_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    const std::filesystem::path cookieFile_ = kHome / "cookies.txt";
    testsite::TestSite site_;
};

TEST_F(LoginBrowserTest, OpensTheStartPageOrWaitsWithTheClipboardsAddress) {
    CDlgWebOpen withStart(Url("/login"));
    EXPECT_EQ(withStart.windowTitle(), QStringLiteral("登录成功后手动关闭对话框"));
    EXPECT_TRUE(withStart.openButton()->isDefault());
    EXPECT_EQ(withStart.addressBox()->text(), Url("/login"));

    QGuiApplication::clipboard()->setText(Url("/echo"));
    CDlgWebOpen dialog(QString{});
    EXPECT_EQ(dialog.addressBox()->text(), Url("/echo"));
#if LUMORA_LOGIN_BROWSER
    dialog.show();
    ASSERT_TRUE(WaitUntil([&] { return site_.requestCount("/login") == 1; }));
    // An Enter the page (a login form, say) left unused comes back to the
    // dialog; it must not leave the page.
    dialog.browser()->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_EQ(site_.requestCount("/echo"), 0u);

    dialog.addressBox()->setFocus();
    QTest::keyClick(dialog.addressBox(), Qt::Key_Return);
    EXPECT_TRUE(WaitUntil([&] { return site_.requestCount("/echo") == 1; }));
    dialog.openButton()->click();
    EXPECT_TRUE(WaitUntil([&] { return site_.requestCount("/echo") == 2; }));
#else
    auto* notice = qobject_cast<QLabel*>(dialog.browser());
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(notice->text(), QStringLiteral("此版本不含内置浏览器，无法登录"));
#endif
}

TEST_F(LoginBrowserTest, ResizingMovesTheButtonAndStretchesBoxAndBrowser) {
    CDlgWebOpen dialog(QStringLiteral("about:blank"));
    dialog.resize(600, 400);
    dialog.show();
    const QRect box = dialog.addressBox()->geometry();
    const QRect button = dialog.openButton()->geometry();
    const QRect browser = dialog.browser()->geometry();
    EXPECT_EQ(button.right() + 1, dialog.width());
    EXPECT_EQ(box.right() + 1 + 5, button.left());
    EXPECT_EQ(browser.bottom() + 1, dialog.height());

    dialog.resize(700, 450);
    EXPECT_EQ(dialog.openButton()->geometry(), button.translated(100, 0));
    EXPECT_EQ(dialog.addressBox()->geometry(), box.adjusted(0, 0, 100, 0));
    EXPECT_EQ(dialog.browser()->geometry(), browser.adjusted(0, 0, 100, 50));
}

TEST_F(LoginBrowserTest, OpeningAnotherLoginBrowserReplacesTheFirst) {
    QWidget owner;
    QPointer<CDlgWebOpen> first = OpenLoginBrowser(&owner, QStringLiteral("about:blank"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    QPointer<CDlgWebOpen> second = OpenLoginBrowser(&owner, Url("/login"));
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(CurrentLoginBrowser(), second.data());
    EXPECT_EQ(second->parentWidget(), &owner);

    // Closed by the user, it is gone and nothing is left to replace.
    QTest::keyClick(second.data(), Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return second.isNull(); }));
    EXPECT_EQ(CurrentLoginBrowser(), nullptr);
}

TEST_F(LoginBrowserTest, WorkerThreadWaitsForTheModalBrowser) {
    std::atomic<int> result{-1};
    QString shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<CDlgWebOpen*>(QApplication::activeModalWidget())) {
            shown = dialog->addressBox()->text();
            dialog->reject();
        }
    });
    closer.start(50);
    std::thread worker([&] { result = RunLoginBrowser(nullptr, QStringLiteral("about:blank")); });
    const bool returned = WaitUntil([&] { return result != -1; });
    worker.join();
    ASSERT_TRUE(returned);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(shown, QStringLiteral("about:blank"));
}

#if LUMORA_LOGIN_BROWSER

std::optional<Cookie> Stored(const std::string& name) {
    for (const Cookie& cookie : CookieStore::Instance().All()) {
        if (cookie.name == name) return cookie;
    }
    return std::nullopt;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Waits until `view` has loaded `path` and `cookies` holds for the store.
bool Loaded(CDlgWebOpen& dialog, const QString& path, const std::function<bool()>& cookies) {
    auto* view = qobject_cast<QWebEngineView*>(dialog.browser());
    bool finished = false;
    const QMetaObject::Connection watch =
        QObject::connect(view, &QWebEngineView::loadFinished, &dialog,
                         [&, view](bool ok) { finished = finished || (ok && view->url().path() == path); });
    const bool loaded = WaitUntil([&] { return finished && cookies(); });
    QObject::disconnect(watch);  // the lambda refers to this frame
    return loaded;
}

TEST_F(LoginBrowserTest, LoginCookiesReachTheFetcherAndPersistentOnesSurviveARestart) {
    auto* dialog = new CDlgWebOpen(Url("/login"));
    ASSERT_TRUE(Loaded(*dialog, "/login", [] { return Stored("sid") && Stored("keep"); }));
    const Cookie keep = *Stored("keep");
    EXPECT_EQ(CookieStore::ToNetscapeLine(keep).substr(0, 34), "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t");
    EXPECT_NEAR(static_cast<double>(keep.expires), static_cast<double>(std::time(nullptr) + 3600), 120);
    EXPECT_TRUE(Stored("sid")->isSession());
    EXPECT_TRUE(
        LoginProfile()->persistentStoragePath().startsWith(QString::fromStdString((kHome / "browser").string())));
    EXPECT_TRUE(std::filesystem::is_directory(kHome / "browser" / "storage"));
    std::string sent = SentByFetcher();
    EXPECT_TRUE(Has(sent, "sid=s1") && Has(sent, "keep=k1")) << sent;
    ASSERT_TRUE(WaitUntil([&] { return Has(SavedFile(), "keep\tk1"); }));
    EXPECT_FALSE(Has(SavedFile(), "sid"));

    // Restart: the store starts from its file, the browser from the store.
    delete dialog;
    ReleaseLoginProfile();
    CookieStore::Instance().Clear();
    CookieStore::Instance().BindFile(cookieFile_);
    sent = SentByFetcher();
    EXPECT_TRUE(Has(sent, "keep=k1") && !Has(sent, "sid=")) << sent;

    CDlgWebOpen restarted(Url("/echo"));
    ASSERT_TRUE(Loaded(restarted, "/echo", [] { return true; }));
    std::optional<QString> shown;
    qobject_cast<QWebEngineView*>(restarted.browser())->page()->toPlainText([&](const QString& t) { shown = t; });
    ASSERT_TRUE(WaitUntil([&] { return shown.has_value(); }));
    EXPECT_TRUE(shown->contains("keep=k1") && !shown->contains("sid=")) << shown->toStdString();
}

TEST_F(LoginBrowserTest, CookiesTheSiteChangesOrDeletesFollowInTheStore) {
    CDlgWebOpen dialog(Url("/login"));
    ASSERT_TRUE(Loaded(dialog, "/login", [] { return Stored("keep").has_value(); }));
    dialog.addressBox()->setText(Url("/relogin"));
    dialog.OnOpen();
    ASSERT_TRUE(Loaded(dialog, "/relogin", [] { return Stored("keep") && Stored("keep")->value == "k2"; }));
    EXPECT_TRUE(Has(SentByFetcher(), "keep=k2"));

    dialog.addressBox()->setText(Url("/logout"));
    dialog.OnOpen();
    ASSERT_TRUE(Loaded(dialog, "/logout", [] { return !Stored("keep"); }));
    const std::string sent = SentByFetcher();
    EXPECT_TRUE(!Has(sent, "keep=") && Has(sent, "sid=s1")) << sent;
    EXPECT_TRUE(WaitUntil([&] { return !Has(SavedFile(), "keep"); }));
}

TEST(CookieConversion, DomainCookiesKeepTheirScopeAndAttributes) {
    Cookie wide{".example.com", true, "/member", true, true, 2000000000, "token", "a=b"};
    Cookie back;
    ASSERT_TRUE(ToStoreCookie(ToBrowserCookie(wide), back));
    EXPECT_EQ(CookieStore::ToNetscapeLine(back), CookieStore::ToNetscapeLine(wide));
    EXPECT_EQ(BrowserCookieOrigin(wide).toString(), QStringLiteral("https://example.com/"));

    // The cookie file has no room for these.
    QNetworkCookie tab("name", "a\tb");
    tab.setDomain("example.com");
    EXPECT_FALSE(ToStoreCookie(tab, back));
    EXPECT_FALSE(ToStoreCookie(QNetworkCookie("", "value"), back));
}

#endif  // LUMORA_LOGIN_BROWSER

}  // namespace
}  // namespace lumora::gui

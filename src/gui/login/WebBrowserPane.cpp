// The login dialog's browser: a web view on the program's own profile.
#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "gui/login/BrowserPane.h"
#include "gui/login/LoginProfile.h"

namespace lumora::gui {

BrowserPane CreateBrowserPane(QWidget* parent) {
    QWebEngineProfile* profile = LoginProfile();
    auto* view = new QWebEngineView(parent);
    view->setPage(new QWebEnginePage(profile, view));

    // Addresses typed the way a browser's address bar takes them. The first
    // load also starts the profile's network side, which takes the cookies
    // fed from the program's store before it sends any request.
    return {view, [view = QPointer<QWebEngineView>(view)](const QString& address) {
                if (view) view->load(QUrl::fromUserInput(address));
            }};
}

}  // namespace lumora::gui

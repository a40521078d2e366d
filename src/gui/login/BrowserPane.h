// The browser area of the login dialog: a web view where the build has one,
// otherwise a notice. The dialog only places it and hands it addresses.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace lumora::gui {

struct BrowserPane {
    QWidget* widget = nullptr;
    std::function<void(const QString& address)> navigate;
};

BrowserPane CreateBrowserPane(QWidget* parent);

}  // namespace lumora::gui

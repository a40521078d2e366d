// Builds without Qt WebEngine: the dialog keeps its address box and button
// but says why nothing can be logged in to.
#include "gui/login/BrowserPane.h"

#include <QLabel>

namespace lumora::gui {

BrowserPane CreateBrowserPane(QWidget* parent) {
    auto* notice = new QLabel(QStringLiteral("此版本不含内置浏览器，无法登录"), parent);
    notice->setAlignment(Qt::AlignCenter);
    notice->setWordWrap(true);
    return {notice, [](const QString&) {}};
}

}  // namespace lumora::gui

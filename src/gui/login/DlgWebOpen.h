// The login browser: the user logs in to a site in it and closes it by hand;
// the cookies it receives are used by every later request of the program.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lumora::gui {

class CDlgWebOpen : public QDialog {
    Q_OBJECT

public:
    // An empty start address shows the clipboard's text and loads nothing.
    explicit CDlgWebOpen(const QString& startAddress, QWidget* owner = nullptr);

    QLineEdit* addressBox() const { return address_; }
    QPushButton* openButton() const { return open_; }
    // The web view (a notice in builds without a browser engine).
    QWidget* browser() const { return browser_; }

    // "打开": loads whatever the address box holds.
    void OnOpen();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* label_ = nullptr;
    QLineEdit* address_ = nullptr;
    QPushButton* open_ = nullptr;
    QWidget* browser_ = nullptr;
    std::function<void(const QString&)> navigate_;
};

// The login menu's commands: closes the login browser opened before, if it
// is still there, and shows a new one beside the owner, which stays usable.
CDlgWebOpen* OpenLoginBrowser(QWidget* owner, const QString& startAddress);
// The login browser OpenLoginBrowser showed last, while it is open.
CDlgWebOpen* CurrentLoginBrowser();

// Runs a login browser modally and returns its dialog result once the user
// has closed it. From another thread it runs on the GUI thread and blocks
// the caller until then, so a worker can ask for a login.
int RunLoginBrowser(QWidget* owner, const QString& startAddress);

}  // namespace lumora::gui

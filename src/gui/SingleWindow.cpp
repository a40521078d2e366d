#include "gui/SingleWindow.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QWidget>

#include <system_error>

#include "gui/Desktop.h"

namespace {

constexpr int kAnswerWaitMs = 1000;
const QByteArray kFrontRequest = "front\n";
const QByteArray kFrontAnswer = "ok\n";

// The same folder by another spelling (a trailing slash, a link) is the same folder.
QString SocketName(const std::filesystem::path& programFolder) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::weakly_canonical(programFolder, error);
    if (error) folder = programFolder.lexically_normal();
    const QByteArray key = QByteArray::fromStdString(folder.string());
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    return QDir(runtime).filePath(QStringLiteral("lumora-%1.socket").arg(digest));
}

}  // namespace

CSingleWindow::CSingleWindow(const std::filesystem::path& programFolder, QObject* parent)
    : QObject(parent), name_(SocketName(programFolder)) {}

bool CSingleWindow::OtherIsRunning() const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    return socket.waitForConnected(kAnswerWaitMs);
}

bool CSingleWindow::BringOtherToFront() const {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kAnswerWaitMs)) return false;
    socket.write(kFrontRequest);
    if (!socket.waitForBytesWritten(kAnswerWaitMs)) return false;
    while (socket.bytesAvailable() < kFrontAnswer.size()) {
        if (!socket.waitForReadyRead(kAnswerWaitMs)) return false;
    }
    return socket.readAll().startsWith(kFrontAnswer);
}

bool CSingleWindow::Listen() {
    if (server_) return true;
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name_)) {
        // Nobody answered there (OtherIsRunning was asked first): what is left is a crashed window's socket.
        QLocalServer::removeServer(name_);
        if (!server->listen(name_)) {
            delete server;
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* client = server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) return;
                if (client->readLine() == kFrontRequest) {
                    client->write(kFrontAnswer);
                    client->flush();
                    emit frontRequested();
                }
                client->disconnectFromServer();
            });
        }
    });
    server_ = server;
    return true;
}

OtherWindowChoice AskAboutOtherWindow(QWidget* parent, const std::filesystem::path& programFolder) {
    QMessageBox box(QMessageBox::Information, CDesktop::ProgramCaption(),
                    QStringLiteral("另一个Lumora窗口正在运行。\n两个窗口共用程序文件夹（%1）中的设置和下载记录，"
                                   "同时下载会互相干扰。")
                        .arg(QString::fromStdString(programFolder.string())),
                    QMessageBox::NoButton, parent);
    QPushButton* front = box.addButton(QStringLiteral("切换到该窗口"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("仍然打开"), QMessageBox::DestructiveRole);
    box.setDefaultButton(front);
    box.setEscapeButton(front);
    box.exec();
    return box.clickedButton() == front || !box.clickedButton() ? OtherWindowChoice::BringToFront
                                                                : OtherWindowChoice::OpenAnyway;
}

void BringToFront(QWidget* window) {
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

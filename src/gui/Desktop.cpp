#include "gui/Desktop.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

void CDesktop::Message(QWidget* parent, const QString& text, const QString& caption) {
    QMessageBox::information(parent, caption, text, QMessageBox::Ok);
}

bool CDesktop::Ask(QWidget* parent, const QString& text, const QString& caption) {
    return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString CDesktop::PickFolder(QWidget* parent, const QString& title, const QString& start) {
    QFileDialog dialog(parent, title, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog always has the path field; native ones may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void CDesktop::OpenFolder(QWidget* parent, const QString& path) {
    QPointer<QWidget> owner(parent);
    const auto fail = [this, owner, path](const QString& reason) {
        if (!owner) return;
        Message(owner, QStringLiteral("无法打开文件夹：%1\n%2").arg(path, reason), ProgramCaption());
    };
    if (!QFileInfo(path).isDir()) return fail(QStringLiteral("（文件夹不存在）"));
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return fail(QStringLiteral("（未找到 xdg-open，请安装 xdg-utils）"));
    // Run here rather than detached, so that its failure is heard. It
    // belongs to the application: closing the window must not kill it.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::finished, process, [process, fail](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if (status != QProcess::NormalExit || code != 0) {
            fail(QStringLiteral("（xdg-open 失败，退出码 %1）").arg(code));
        }
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, fail](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        fail(QStringLiteral("（无法启动 xdg-open）"));
    });
    process->start(opener, {path});
}

QString CDesktop::ProgramCaption() { return QStringLiteral("Lumora"); }

CDesktop& DefaultDesktop() {
    static CDesktop desktop;
    return desktop;
}

// One window per program folder. The first window listens on a local socket
// named after its folder; a later start finds it there, says so, and may ask
// it to come to the front instead of opening a second window that would share
// its settings, history and save folder.
#pragma once

#include <QObject>
#include <QString>

#include <filesystem>

class QLocalServer;
class QWidget;

class CSingleWindow : public QObject {
    Q_OBJECT

public:
    explicit CSingleWindow(const std::filesystem::path& programFolder, QObject* parent = nullptr);

    // True when a window of the same program folder answers.
    bool OtherIsRunning() const;
    // Asks that window to come to the front; true when it said it would.
    bool BringOtherToFront() const;
    // Answers later starts from now on; a socket left by a window that
    // crashed is taken over. False when nothing can listen (then later
    // starts open as if this one did not run).
    bool Listen();

    // The socket's path, in the user's runtime folder.
    const QString& socketName() const { return name_; }

signals:
    void frontRequested();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

enum class OtherWindowChoice { BringToFront, OpenAnyway };

// "另一个Lumora窗口正在运行" with "切换到该窗口" and "仍然打开"; closing the box
// counts as the first.
OtherWindowChoice AskAboutOtherWindow(QWidget* parent, const std::filesystem::path& programFolder);

// Raises a window, also one that is minimised.
void BringToFront(QWidget* window);

// What the window and its dialogs ask of the desktop: message boxes, the
// folder picker and opening a folder. Tests substitute their own.
#pragma once

#include <QString>

class QWidget;

class CDesktop {
public:
    virtual ~CDesktop() = default;

    // A modal note with an OK button.
    virtual void Message(QWidget* parent, const QString& text, const QString& caption);
    // A modal yes/no question; true for yes.
    virtual bool Ask(QWidget* parent, const QString& text, const QString& caption);
    // A folder picker with a path field; empty when cancelled.
    virtual QString PickFolder(QWidget* parent, const QString& title, const QString& start);
    // Shows a folder in the file manager (xdg-open). When there is no opener,
    // no such folder, or the opener reports failure, a message says which
    // folder it was, so the user can still find the files.
    virtual void OpenFolder(QWidget* parent, const QString& path);

    // The caption of the program's own message boxes.
    static QString ProgramCaption();
};

// The real desktop, for whoever was not given another.
CDesktop& DefaultDesktop();

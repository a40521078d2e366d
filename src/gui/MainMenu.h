// The main window's menu bar: log-in entries, the settings dialogs and
// option switches, the (disabled) import/export popup, a spacer and help.
// Every command action carries its command id as data (see MenuActionId).
#pragma once

#include <functional>

class QAction;
class QMenu;
class QMenuBar;

// Menu commands that are neither option switches (OptionFlags.h) nor log-in
// entries (LoginPages.h).
enum MenuCommand : int {
    ID_DOWNLOAD_SETTINGS = 32778,
    ID_NAME_SETTINGS = 32779,
    ID_IMPORT_AND_DOWNLOAD = 32811,
    ID_EXPORT_DOWNLOAD_FILE = 32809,
    ID_EXPORT_LIST_FILE = 32810,
    ID_ABOUT = 32775,
    ID_SKIP_SAVED = 32815,  // "跳过已下载的图片", kept in "lumora.ini" for every site
    ID_FIRST_COMMAND = 32772,
    ID_LAST_COMMAND = 32823,
};

bool IsLoginCommand(int id);

// Fills `bar`. A triggered action calls `onCommand` with its id; every
// popup calls `onDrop` just before it shows.
void BuildMainMenu(QMenuBar* bar, const std::function<void(int)>& onCommand,
                   const std::function<void(QMenu*)>& onDrop);

// The command id of an action, 0 for separators and popups.
int MenuActionId(const QAction* action);
QAction* FindMenuAction(const QMenuBar* bar, int id);

// The main window's menu bar: log-in entries, the settings dialogs and
// option switches, the (disabled) import/export popup, a spacer and help.
// Every command action carries its command id as data (see MenuActionId).
#pragma once

#include <functional>

#include "app/ControlIds.h"

class QAction;
class QMenu;
class QMenuBar;

bool IsLoginCommand(int id);

// Fills `bar`. A triggered action calls `onCommand` with its id; every
// popup calls `onDrop` just before it shows.
void BuildMainMenu(QMenuBar* bar, const std::function<void(int)>& onCommand, const std::function<void(QMenu*)>& onDrop);

// The command id of an action, 0 for separators and popups.
int MenuActionId(const QAction* action);
QAction* FindMenuAction(const QMenuBar* bar, int id);

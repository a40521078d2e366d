// The screenshot tour: gets the albums of the prefilled address, then
// saves pictures of the main window (list and picture mode), the settings
// menu and the dialogs into a folder.
#pragma once

#include <QString>

class CLumoraDlg;

// Returns the process exit code: 0 when every picture was written.
int RunScreenshotTour(CLumoraDlg& window, const QString& folder);

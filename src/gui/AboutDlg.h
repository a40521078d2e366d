// The about box: a framed caption, the icon, the version, one line on what
// the program does and where its run log is (selectable, to be copied).
#pragma once

#include <QDialog>

#include <filesystem>

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(const std::filesystem::path& runLog, QWidget* parent = nullptr);
};

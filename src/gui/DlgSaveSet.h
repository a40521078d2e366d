// The file-name dialog: prefix, suffix and replacement pair of picture
// names, the base-name choice, and prefix, suffix and choice of the album
// folder. It edits the record it is given. Widgets are named "control<id>":
// edits 1000, 1001, 1021, 1022, 1002, 1003; radios 1016..1018 and 1019,
// 1020; link 1010; OK button 1023.
#pragma once

#include <QDialog>

#include "download/NamePreview.h"
#include "settings/SettingsBlock.h"

class CDesktop;
class QButtonGroup;
class QLabel;
class QLineEdit;

class CDlgSaveSet : public QDialog {
    Q_OBJECT

public:
    // The text behind the link "前后缀说明".
    static QString HelpText();

    // The preview names `album` (the built-in example by default) as the
    // rules in the fields would, live as they change.
    CDlgSaveSet(lumora::NameRules& rules, CDesktop& desktop, QWidget* parent = nullptr,
                lumora::NamePreviewAlbum album = {});

    // "确 定": stores every field (texts cut to 38 characters) and closes with OK.
    void OnOk();
    void ShowHelp();

private:
    // The record as the fields and radios say now.
    lumora::NameRules RulesShown() const;
    void UpdatePreview();

    lumora::NameRules& rules_;
    const lumora::NamePreviewAlbum album_;
    QLabel* preview_ = nullptr;
    CDesktop& desktop_;
    QLineEdit* filePrefix_ = nullptr;
    QLineEdit* fileSuffix_ = nullptr;
    QLineEdit* replaceWhat_ = nullptr;
    QLineEdit* replaceWith_ = nullptr;
    QLineEdit* folderPrefix_ = nullptr;
    QLineEdit* folderSuffix_ = nullptr;
    QButtonGroup* baseName_ = nullptr;
    QButtonGroup* folder_ = nullptr;
};

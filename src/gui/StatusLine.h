// The link-like labels of the main window: the grid's "查找", "筛选" and
// "导出", and the second status line, which turns into a link to the failure
// list after a download; and what that line says when a download ends.
#pragma once

#include <QLabel>
#include <QString>

#include <functional>
#include <optional>

#include "app/DownloadReport.h"
#include "gui/GuiText.h"

// A link that looks disabled when it is: rich text keeps its link colour
// in every state otherwise. Tab reaches it; Enter or Space then emits
// linkActivated as a click does.
class CLinkLabel : public QLabel {
public:
    CLinkLabel(const QString& text, QWidget* parent);

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowText();

    QString text_;
};

// The second status line. As a link a click, or Enter or Space once tabbed
// to, runs onActivate.
class CStatusLine : public QLabel {
public:
    CStatusLine(const QString& text, QWidget* parent) : QLabel(text, parent) {}

    std::function<void()> onActivate;

    void SetLink(bool link);
    bool link() const { return link_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool link_ = false;
};

// What the second status line says once a download or retry run has ended,
// and whether it leads to the failure list; nothing when the run downloaded
// nothing (no album picked, the save folder refused, list files only).
// `pickedAlbums` (0 when unknown) tells a stopped run's albums that were
// never reached, whose pictures no count includes.
struct OutcomeLine {
    QString text;
    bool link = false;
};
std::optional<OutcomeLine> DownloadOutcomeLine(const lumora::DownloadReport& report, std::size_t pickedAlbums);

// The main status line once a download has ended: "下载完毕", with what was
// saved beside it when pictures were downloaded ("下载完毕：已保存12张").
QString DownloadDoneText(const lumora::DownloadReport& report);

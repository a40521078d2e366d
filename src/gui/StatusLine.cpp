#include "gui/StatusLine.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

bool IsActivationKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space; }

// Labels draw no focus frame of their own: one around the text shows where
// the keyboard is.
void DrawFocusFrame(QLabel& label) {
    QPainter painter(&label);
    QStyleOptionFocusRect frame;
    frame.initFrom(&label);
    frame.rect = label.contentsRect().intersected(QRect(QPoint(0, 0), QSize(label.sizeHint().width(), label.height())));
    label.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, &label);
}

}  // namespace

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(parent), text_(text) {
    ShowText();
    // Tab only: a click runs the link without taking the focus from where the user works.
    setFocusPolicy(Qt::TabFocus);
}

void CLinkLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) ShowText();
    QLabel::changeEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event) {
    if (IsActivationKey(event->key())) {
        emit linkActivated(QStringLiteral("#"));
        return;
    }
    QLabel::keyPressEvent(event);
}

void CLinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (hasFocus()) DrawFocusFrame(*this);
}

void CLinkLabel::ShowText() {
    const QString style = isEnabled() ? QString()
                                      : QStringLiteral(" style=\"color: %1\"")
                                            .arg(palette().color(QPalette::Disabled, QPalette::WindowText).name());
    setText(QStringLiteral("<a href=\"#\"%1>%2</a>").arg(style, text_));
}

void CStatusLine::SetLink(bool link) {
    if (link == link_) return;
    link_ = link;
    QFont underlined = font();
    underlined.setUnderline(link);
    setFont(underlined);
    QPalette colours = parentWidget()->palette();
    if (link) colours.setColor(QPalette::WindowText, colours.color(QPalette::Link));
    setPalette(colours);
    if (link) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
    setFocusPolicy(link ? Qt::TabFocus : Qt::NoFocus);
    if (!link && hasFocus()) clearFocus();
}

void CStatusLine::mouseReleaseEvent(QMouseEvent* event) {
    if (link_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        if (onActivate) onActivate();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CStatusLine::keyPressEvent(QKeyEvent* event) {
    if (link_ && IsActivationKey(event->key())) {
        if (onActivate) onActivate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CStatusLine::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (link_ && hasFocus()) DrawFocusFrame(*this);
}

namespace {

// The folder that holds the run's list files: the album folder when there
// is one, else the one the album folders are in.
QString ListFileFolder(const lumora::DownloadReport& report) {
    std::u16string folder;
    for (const lumora::AlbumOutcome& album : report.albums) {
        if (!album.listFileWritten) continue;
        if (folder.empty()) {
            folder = album.folder;
        } else if (album.folder != folder) {
            const std::u16string trimmed = folder.substr(0, folder.size() - 1);
            folder = trimmed.substr(0, trimmed.rfind(u'/') + 1);
        }
    }
    return ToQString(folder);
}

}  // namespace

QString DownloadDoneText(const lumora::DownloadReport& report) {
    std::size_t saved = 0;
    std::size_t skipped = 0;
    bool downloaded = false;
    for (const lumora::AlbumOutcome& album : report.albums) {
        if (album.listFileOnly) continue;
        downloaded = downloaded || album.listed > 0;
        saved += album.saved;
        skipped += album.skipped;
    }
    QString text = QStringLiteral("下载完毕");
    if (!downloaded || report.stopped) return text;
    text += QStringLiteral("：已保存%1张").arg(saved);
    if (skipped > 0) text += QStringLiteral("，跳过%1张（以前已下载）").arg(skipped);
    return text;
}

std::optional<OutcomeLine> DownloadOutcomeLine(const lumora::DownloadReport& report, std::size_t pickedAlbums) {
    if (report.nothingPicked || report.rejectedSavePath) return std::nullopt;
    std::size_t saved = 0;
    std::size_t failed = 0;
    std::size_t unstarted = 0;
    std::size_t unread = 0;
    std::size_t filtered = 0;
    bool downloaded = false;
    for (const lumora::AlbumOutcome& album : report.albums) {
        failed += album.failures.size();
        filtered += album.filtered;
        unread += album.page.fetched ? 0 : 1;
        // A list file stands for its pictures: none of them was to be downloaded.
        if (album.listFileOnly) continue;
        downloaded = downloaded || album.listed > 0;
        const std::size_t ended = album.saved + album.skipped + album.filtered + album.failures.size();
        saved += album.saved + album.skipped;
        unstarted += album.listed > ended ? album.listed - ended : 0;
    }
    const QString failures = QStringLiteral("（点击查看）");
    if (report.stopped) {
        OutcomeLine line{QStringLiteral("已终止：已保存%1张，未下载%2张").arg(saved).arg(unstarted), failed > 0};
        if (failed > 0) line.text += QStringLiteral("，失败%1张").arg(failed) + failures;
        if (pickedAlbums > report.albums.size()) {
            line.text += QStringLiteral("；另有%1个相册未开始").arg(pickedAlbums - report.albums.size());
        }
        return line;
    }
    if (!downloaded && unread == 0) {
        // Only list files: where they went is what there is to tell.
        const QString folder = ListFileFolder(report);
        if (folder.isEmpty()) return std::nullopt;
        return OutcomeLine{QStringLiteral("列表文件已写入：") + folder, false};
    }
    OutcomeLine line{QStringLiteral("本次下载失败%1张图片").arg(failed), failed > 0};
    if (line.link) line.text += failures;
    // Albums whose pictures were never listed have no failed picture to count.
    if (unread > 0) line.text += QStringLiteral("；%1个相册页面读取失败").arg(unread);
    if (filtered > 0) line.text += QStringLiteral("；跳过%1张（大小不在设定范围内）").arg(filtered);
    if (report.unrecorded > 0) line.text += QStringLiteral("；下载记录未能保存%1条").arg(report.unrecorded);
    return line;
}

// The small search box of the album grid. In find mode it stays open beside
// the grid (modeless) and steps through matching rows; in filter mode it is
// modal and only collects the keyword. It has no caption bar: a left-button
// press anywhere on it drags it.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDlgFind : public QDialog {
    Q_OBJECT

public:
    // Widgets carry object names "edit1639", "check1033", "check1034",
    // "button1699", "button1701", "button1006".
    explicit CDlgFind(QWidget* parent = nullptr);

    // true: find mode (case, whole word, previous shown; 1006 "下一个");
    // false: filter mode (those hidden; 1006 "筛选").
    void SetFindMode(bool find);
    bool findMode() const { return findMode_; }

    // The trimmed keyword that the filter accepted.
    const QString& keyword() const { return keyword_; }

    // Places the dialog over the middle of `widget`'s window.
    void CentreOn(const QWidget* widget);
    // After a step: "未找到" when it found nothing, else nothing.
    void ShowFound(bool found);

signals:
    // Find mode: "下一个" (forward) or "上一个" with a keyword that is not empty.
    void findStep(const QString& keyword, bool matchCase, bool wholeWord, bool forward);
    // Find mode: the box was hidden by the program or the user, not by a
    // minimised main window.
    void findHidden();

public slots:
    // Escape and "×": find mode hides, filter mode cancels.
    void reject() override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QLabel* result_ = nullptr;
    // Button 1006 (forward = true) and 1701.
    void Step(bool forward);
    // The trimmed keyword, or empty after telling the user it must not be.
    QString CheckedKeyword();

    bool findMode_ = true;
    QString keyword_;
    QLineEdit* edit_ = nullptr;
    QCheckBox* matchCase_ = nullptr;
    QCheckBox* wholeWord_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    bool dragging_ = false;
    QPoint dragOffset_;
};

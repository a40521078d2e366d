#include "gui/ComboBox2.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStringListModel>

#include "gui/GuiText.h"
#include "text/StringCtrl.h"

const QString CComboBox2::kEndMarker = QStringLiteral("<lumora/>");

CComboBox2::CComboBox2(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // The built-in completer would fill in text inline; ours only offers.
    setCompleter(nullptr);

    offered_ = new QStringListModel(this);
    completer_ = new QCompleter(offered_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    // Attached to the field for placement and key forwarding only, so that
    // typing goes on into the field while the list is open.
    completer_->setWidget(lineEdit());
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this, [this](const QString& text) {
        lineEdit()->setText(text);
        emit entryPicked(text);
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
        Complete(text);
        emit editChanged(text);
    });
    connect(this, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (index < 0) return;
        const QString text = itemText(index);
        setEditText(text);
        emit entryPicked(text);
    });
}

void CComboBox2::SetKnownEntries(const QStringList& entries) { known_ = entries; }

void CComboBox2::AddKnownEntry(const QString& entry) { known_.append(entry); }

QStringList CComboBox2::completionEntries() const { return offered_->stringList(); }

bool CComboBox2::completionShown() const { return completer_->popup() && completer_->popup()->isVisible(); }

void CComboBox2::Complete(const QString& typed) {
    if (typed.isEmpty()) {
        offered_->setStringList({});
        completer_->popup()->hide();
        return;
    }
    const int caret = lineEdit()->cursorPosition();
    const std::u16string wanted = lumora::ToLowerSimple(ToU16(typed));
    QStringList matches;
    for (const QString& entry : known_) {
        QString lower = ToQString(lumora::ToLowerSimple(ToU16(entry)));
        if (!lower.contains(ToQString(wanted))) continue;
        const qsizetype marker = lower.indexOf(kEndMarker);
        if (marker >= 0) lower.truncate(marker);
        matches.append(lower);
    }
    offered_->setStringList(matches);
    if (matches.isEmpty()) {
        completer_->popup()->hide();
    } else {
        completer_->complete();
    }
    // Showing the list must not disturb what is being typed.
    if (lineEdit()->text() != typed) lineEdit()->setText(typed);
    lineEdit()->setCursorPosition(caret);
}

void CComboBox2::showPopup() {
    const QString text = currentText();
    clear();
    addItems(known_);
    setCurrentIndex(-1);
    setEditText(text);
    QComboBox::showPopup();
}

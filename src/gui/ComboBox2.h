// An editable combo box with a history: it keeps its own list of known
// entries, and while the user types it offers, in lower case, every known
// entry that contains the typed text. Opening the drop-down lists all known
// entries as stored.
#pragma once

#include <QComboBox>
#include <QStringList>

class QCompleter;
class QStringListModel;

class CComboBox2 : public QComboBox {
    Q_OBJECT

public:
    // Entries are offered only up to this text, when they hold it.
    static const QString kEndMarker;

    explicit CComboBox2(QWidget* parent = nullptr);

    void SetKnownEntries(const QStringList& entries);
    void AddKnownEntry(const QString& entry);
    const QStringList& knownEntries() const { return known_; }

    // What the last completion offered; empty when it offered nothing.
    QStringList completionEntries() const;
    bool completionShown() const;

    void showPopup() override;

signals:
    // The user changed the edit text (after the completion ran).
    void editChanged(const QString& text);
    // The user picked an entry from the drop-down or the completion list;
    // the edit field holds it.
    void entryPicked(const QString& text);

private:
    void Complete(const QString& typed);

    QStringList known_;
    QStringListModel* offered_ = nullptr;
    QCompleter* completer_ = nullptr;
};

// Small pieces shared by the dialogs.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;

class QTableWidget;
class QWidget;

// A label in column 0 and an edit named "control<id>" in column 1 of `row`.
QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, const QString& text);
QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, unsigned number);

// A read-only table of whole rows, one line each, long texts cut in the
// middle; `stretchColumn` takes the width the others leave.
QTableWidget* MakeRowTable(QWidget* parent, const QStringList& headers, const QString& name, int stretchColumn);

// The row with the default button "确 定" (named "control1023") at its right.
QHBoxLayout* OkButtonRow(QDialog* dialog, std::function<void()> onOk);

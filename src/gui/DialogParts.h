// Small pieces shared by the settings dialogs.
#pragma once

#include <QString>

#include <functional>

class QDialog;
class QGridLayout;
class QHBoxLayout;
class QLineEdit;

// A label in column 0 and an edit named "control<id>" in column 1 of `row`.
QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, const QString& text);
QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, unsigned number);

// The row with the default button "确 定" (named "control1023") at its right.
QHBoxLayout* OkButtonRow(QDialog* dialog, std::function<void()> onOk);

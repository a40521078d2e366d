#include "gui/DialogParts.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, const QString& text) {
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QStringLiteral("control%1").arg(id));
    auto* caption = new QLabel(label);
    caption->setBuddy(edit);
    grid->addWidget(caption, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

QLineEdit* AddLabelledEdit(QGridLayout* grid, int row, const QString& label, int id, unsigned number) {
    return AddLabelledEdit(grid, row, label, id, QString::number(number));
}

QHBoxLayout* OkButtonRow(QDialog* dialog, std::function<void()> onOk) {
    auto* ok = new QPushButton(QStringLiteral("确 定"), dialog);
    ok->setObjectName(QStringLiteral("control1023"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog, std::move(onOk));
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    return row;
}

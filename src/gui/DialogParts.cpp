#include "gui/DialogParts.h"

#include <QHeaderView>
#include <QStringList>
#include <QTableWidget>

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

QTableWidget* MakeRowTable(QWidget* parent, const QStringList& headers, const QString& name, int stretchColumn) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(name);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->setTextElideMode(Qt::ElideMiddle);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    table->horizontalHeader()->setSectionResizeMode(stretchColumn, QHeaderView::Stretch);
    return table;
}

// "下载队列": the queue's orders, one row each (space, albums, folder, state,
// done/total, failures, note), with "开始"/"暂停" for the queue, "移除",
// "上移" and "下移". A double click on a row shows the order's failures; a
// retry from there runs the order again. The rows follow the queue as it
// runs, whoever runs it.
#pragma once

#include <QDialog>

#include <filesystem>
#include <memory>
#include <vector>

#include "download/OrderQueue.h"

class CBackgroundRun;
class CDesktop;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class CDlgQueue : public QDialog {
    Q_OBJECT

public:
    CDlgQueue(const std::filesystem::path& programFolder, CBackgroundRun& run, CDesktop& desktop,
              QWidget* parent = nullptr);
    ~CDlgQueue() override;

    // Reads the queue again; the rows change only where it changed.
    void Refresh();
    // The ids of the rows, top to bottom.
    std::vector<std::int64_t> RowIds() const;
    QTableWidget* table() const { return table_; }

    // The buttons' commands.
    void StartOrPause();
    void RemoveSelected();
    void MoveSelected(int step);
    void ShowFailuresOf(int row);

private:
    std::int64_t SelectedId() const;
    void SelectId(std::int64_t id);
    void UpdateButtons();
    void Say(const QString& text);

    const std::filesystem::path programFolder_;
    CBackgroundRun& run_;
    CDesktop& desktop_;
    std::unique_ptr<lumora::OrderQueue> queue_;
    std::vector<lumora::QueuedOrder> shown_;
    QTableWidget* table_ = nullptr;
    QPushButton* startPause_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* refresh_ = nullptr;
};

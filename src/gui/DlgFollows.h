// "关注的空间": the followed members (address, space, folder, last check, what
// it found), "检查更新" for the selected ones or all, "取消关注". The end of a
// check is summed up below the list ("关注的空间：N个新相册，M张新图片").
#pragma once

#include <QDialog>

#include <filesystem>
#include <memory>
#include <vector>

#include "download/FollowList.h"

class CBackgroundRun;
class CDesktop;
class QLabel;
class QPushButton;
class QTableWidget;

class CDlgFollows : public QDialog {
    Q_OBJECT

public:
    CDlgFollows(const std::filesystem::path& programFolder, CBackgroundRun& run, CDesktop& desktop,
                QWidget* parent = nullptr);
    ~CDlgFollows() override;

    void Refresh();
    QTableWidget* table() const { return table_; }
    QLabel* status() const { return status_; }

    // "检查更新": the selected members, or every one when none is selected.
    void CheckForUpdates();
    void UnfollowSelected();

private:
    std::vector<lumora::FollowedMember> Selected() const;
    void UpdateButtons();

    CBackgroundRun& run_;
    CDesktop& desktop_;
    std::unique_ptr<lumora::FollowList> follows_;
    std::vector<lumora::FollowedMember> shown_;
    QTableWidget* table_ = nullptr;
    QPushButton* check_ = nullptr;
    QPushButton* unfollow_ = nullptr;
    QLabel* status_ = nullptr;
};

// What the last check of a member found, for people ("2个新相册，30张新图片", or why not).
QString FindingText(const lumora::FollowedMember& member);

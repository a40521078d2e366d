// "加入队列", "下载队列" and "关注的空间" driven through the real widgets: the
// orders and members live in the archive file, and their runs go on a
// thread of their own while the window stays free.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include <memory>

#include "app/RunnerLock.h"
#include "gui/BackgroundRun.h"
#include "gui/DlgFailures.h"
#include "gui/DlgFollows.h"
#include "gui/DlgQueue.h"
#include "gui_fixture.h"

namespace lumora::guitest {
namespace {

using QueueWindowTest = WindowTest;

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

QPushButton* Button(QWidget* parent, const char* name) {
    return parent->findChild<QPushButton*>(QString::fromLatin1(name));
}

TEST_F(QueueWindowTest, PickedAlbumsAreQueuedOrderedAndRunWhileTheWindowStaysFree) {
    ServeMember({"Sea", "Hills"}, {2, 3});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
    auto* add = Button(&window, "addToQueue");
    ASSERT_TRUE(add->isEnabled());
    window.grid()->selectRow(1);
    add->click();
    EXPECT_TRUE(
        qobject_cast<QLabel*>(window.control(IDC_STATUS_PROGRESS))->text().startsWith(u"已加入队列：1个相册"_qs));
    window.grid()->SelectAll(true);
    add->click();

    window.OpenQueue();
    CDlgQueue* queue = window.queueDialog();
    ASSERT_NE(queue, nullptr);
    QTableWidget* rows = queue->table();
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(Cell(rows, 0, 0), u"Member"_qs);
    EXPECT_EQ(Cell(rows, 0, 1), u"1个相册"_qs);
    EXPECT_EQ(Cell(rows, 1, 1), u"2个相册"_qs);
    EXPECT_EQ(Cell(rows, 0, 3), u"等待"_qs);
    // The second order goes first.
    const std::vector<std::int64_t> added = queue->RowIds();
    rows->selectRow(1);
    Button(queue, "queueUp")->click();
    EXPECT_EQ(queue->RowIds(), (std::vector<std::int64_t>{added[1], added[0]}));

    Button(queue, "queueStart")->click();
    EXPECT_EQ(Button(queue, "queueStart")->text(), u"暂停"_qs);
    EXPECT_TRUE(window.control(IDC_GET_ALBUMS)->isEnabled());  // the window is not taken by the queue
    ASSERT_TRUE(WaitUntil([&] { return !window.backgroundRun().running(); }, 60000));
    queue->Refresh();
    EXPECT_EQ(Cell(rows, 0, 3), u"完成"_qs);
    EXPECT_EQ(Cell(rows, 0, 4), u"5/5"_qs);
    EXPECT_EQ(Cell(rows, 1, 3), u"完成"_qs);
    EXPECT_EQ(Cell(rows, 1, 4), u"3/3"_qs);  // found saved by the first
    EXPECT_EQ(site_.requestCount("/2/1.jpg"), 1u);
    EXPECT_TRUE(queue->findChild<QLabel*>(u"queueStatus"_qs)->text().startsWith(u"队列：运行了2个订单，完成2个"_qs));

    // A double click shows the order's failures; it has none.
    WhenModal<CDlgFailures>([](CDlgFailures& failures) {
        EXPECT_EQ(failures.findChild<QTableWidget*>(u"failureTable"_qs)->rowCount(), 0);
        failures.reject();
    });
    emit rows->cellDoubleClicked(0, 0);
    rows->selectRow(0);
    Button(queue, "queueRemove")->click();
    EXPECT_EQ(rows->rowCount(), 1);
}

TEST_F(QueueWindowTest, AnotherRunnerIsWaitedForWhenTheUserSaysSo) {
    ServeMember({"Sea"}, {1});
    CLumoraDlg& window = OpenWindow();
    GetAlbums();
    window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
    window.grid()->SelectAll(true);
    Button(&window, "addToQueue")->click();
    window.OpenQueue();
    auto other = std::make_unique<RunnerLock>(home_);  // a lumora-cli sync, say
    desktop_.answer = true;
    Button(window.queueDialog(), "queueStart")->click();
    ASSERT_EQ(desktop_.questions.size(), 1u);
    EXPECT_TRUE(desktop_.questions[0].contains(u"另一个下载正在进行"_qs));
    EXPECT_TRUE(window.backgroundRun().waiting());
    EXPECT_FALSE(window.backgroundRun().running());
    other.reset();
    ASSERT_TRUE(WaitUntil([&] { return window.backgroundRun().running(); }, 10000));
    ASSERT_TRUE(WaitUntil([&] { return !window.backgroundRun().running(); }, 60000));
    EXPECT_EQ(site_.requestCount("/1/1.jpg"), 1u);
}

TEST_F(QueueWindowTest, AFollowedSpaceIsCheckedForWhatIsNew) {
    ServeMember({"Sea", "Hills"}, {2, 2});
    CLumoraDlg& window = OpenWindow(true, u"http://dp.pconline.com.cn/m/"_qs);
    window.savePathBox()->setEditText(QString::fromStdString((home_ / "save").string()));
    Button(&window, "followSpace")->click();
    window.OpenFollows();
    CDlgFollows* follows = window.followsDialog();
    ASSERT_NE(follows, nullptr);
    ASSERT_EQ(follows->table()->rowCount(), 1);
    EXPECT_EQ(Cell(follows->table(), 0, 0), u"http://dp.pconline.com.cn/m/"_qs);
    EXPECT_EQ(Cell(follows->table(), 0, 3), u"从未检查"_qs);

    Button(follows, "followCheck")->click();
    ASSERT_TRUE(WaitUntil([&] { return !window.backgroundRun().running(); }, 60000));
    EXPECT_EQ(follows->status()->text(), u"关注的空间：2个新相册，4张新图片"_qs);
    EXPECT_EQ(Cell(follows->table(), 0, 1), u"Member"_qs);
    EXPECT_EQ(Cell(follows->table(), 0, 4), u"2个新相册，4张新图片"_qs);
    // Again: nothing new, and no picture fetched twice.
    Button(follows, "followCheck")->click();
    ASSERT_TRUE(WaitUntil([&] { return !window.backgroundRun().running(); }, 60000));
    EXPECT_EQ(follows->status()->text(), u"关注的空间：0个新相册，0张新图片"_qs);
    EXPECT_EQ(site_.requestCount("/2/2.jpg"), 1u);
}

}  // namespace
}  // namespace lumora::guitest

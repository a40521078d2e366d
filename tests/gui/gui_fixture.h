// A main window on a scratch program folder (LUMORA_HOME), the loopback site
// playing the community through http_proxy, and a desktop that records
// messages instead of showing them.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/ControlIds.h"
#include "app/controller_fixture.h"
#include "gui/AlbumGrid.h"
#include "gui/ComboBox2.h"
#include "gui/Desktop.h"
#include "gui/LumoraDlg.h"
#include "gui/MainMenu.h"
#include "testsite/TestSite.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace lumora::guitest {

class FakeDesktop : public CDesktop {
public:
    void Message(QWidget*, const QString& text, const QString&) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }
    bool Ask(QWidget*, const QString& text, const QString& caption) override {
        questions.push_back(caption + QStringLiteral(": ") + text);
        if (onAsk) onAsk();
        return answer;
    }
    QString PickFolder(QWidget*, const QString& title, const QString&) override {
        pickerTitles.push_back(title);
        if (folders.empty()) return {};
        QString folder = folders.front();
        folders.pop_front();
        return folder;
    }
    void OpenFolder(QWidget* parent, const QString& path) override {
        opened.push_back(path);
        if (realOpener) CDesktop::OpenFolder(parent, path);
    }

    std::vector<QString> messages;
    std::vector<QString> questions;
    std::vector<QString> pickerTitles;
    std::vector<QString> opened;
    std::deque<QString> folders;  // what the picker returns, in turn
    bool answer = false;
    bool realOpener = false;  // run the desktop's own opener as well
    std::function<void(const QString&)> onMessage;
    std::function<void()> onAsk;
};

// Runs `act` on the dialog of type Dialog once it is up as the modal window;
// gives up after a while by closing whatever is modal, so a test never hangs.
template <typename Dialog>
void WhenModal(std::function<void(Dialog&)> act) {
    auto* poll = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<Dialog*>(modal)) {
            poll->deleteLater();
            poll->stop();
            act(*dialog);
        } else if (++*tries > 200) {
            ADD_FAILURE() << "the dialog did not open";
            poll->stop();
            poll->deleteLater();
            if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        }
    });
    poll->start(10);
}

// Processes events until `done` holds; false after `timeoutMs`.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

inline std::string PictureBlock(const std::string& src) {
    return "<li class=\"picture\"><a href=\"#\"><img src=\"" + src + "\" alt=\"x\"></a></li>\n";
}

// Reuses the controller tests' scratch folder and loopback site; the
// recording window of that fixture stays unused.
class WindowTest : public testing::ControllerTest {
protected:
    void SetUp() override {
        ControllerTest::SetUp();
        setenv("LUMORA_HOME", home_.c_str(), 1);
    }
    void TearDown() override {
        dialog_.reset();
        unsetenv("LUMORA_HOME");
        ControllerTest::TearDown();
    }

    // A window on the scratch folder; started and ready unless `start` is false.
    CLumoraDlg& OpenWindow(bool start = true, std::optional<QString> address = std::nullopt) {
        dialog_.reset();
        CLumoraDlg::Options options;
        options.desktop = &desktop_;
        options.address = std::move(address);
        dialog_ = std::make_unique<CLumoraDlg>(options);
        if (start) {
            dialog_->Start();
            EXPECT_TRUE(dialog_->WaitUntilIdle());
        }
        return *dialog_;
    }

    // A member "m" whose album k is titled titles[k] and has pictures[k]
    // pictures at http://img.pconline.com.cn/<k+1>/<n>.jpg.
    void ServeMember(const std::vector<std::string>& titles, const std::vector<int>& pictures,
                     std::chrono::milliseconds pictureDelay = {}) {
        using testing::kCommunityHost;
        using testing::kPictureHost;
        std::string blocks;
        for (std::size_t k = 0; k < titles.size(); ++k) {
            const std::string id = std::to_string(k + 1);
            blocks += testing::AlbumBlock(id, titles[k], "//img.pconline.com.cn/cover" + id + ".jpg");
            std::string page = "<html><body><ul>";
            for (int n = 1; n <= pictures[k]; ++n) {
                const std::string path = "/" + id + "/" + std::to_string(n);
                page += PictureBlock("//img.pconline.com.cn" + path + "_mthumb.jpg");
                testsite::Response picture = testsite::Response::Text("picture " + path, "image/jpeg");
                picture.delayBeforeHeaders = pictureDelay;
                site_.route(kPictureHost, path + ".jpg", picture);
            }
            site_.route(kCommunityHost, "/photo/list_" + id + ".html",
                        testsite::Response::Text(page + "</ul></body></html>"));
        }
        ServeListPage(1, testing::ListPage("Member", blocks, false));
    }

    void ServeListPage(int page, const std::string& body, std::chrono::milliseconds delay = {}) {
        if (delay.count() == 0) return ServePage("m", page, body);
        testsite::Response response = testsite::Response::Text(body);
        response.delayBeforeHeaders = delay;
        site_.route(testing::kCommunityHost, "/m/myphoto_p" + std::to_string(page) + "_n15.html", response);
    }

    // Types the member's address and runs get-albums to its end.
    void GetAlbums(const QString& address = QStringLiteral("http://dp.pconline.com.cn/m/")) {
        dialog_->addressBox()->setEditText(address);
        dialog_->OnGetAlbums();
        ASSERT_TRUE(dialog_->WaitUntilIdle());
    }

    QString Text(int id) const {
        QWidget* control = dialog_->control(id);
        if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
        if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
        return {};
    }
    bool Enabled(int id) const { return dialog_->control(id)->isEnabled(); }

    FakeDesktop desktop_;
    std::unique_ptr<CLumoraDlg> dialog_;
};

}  // namespace lumora::guitest

// One QApplication for every GUI test of the process, without a display,
// and a scratch state folder, so no run log goes into the user's home.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include <filesystem>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        std::string state = (std::filesystem::temp_directory_path() / "lumora-gui-state-XXXXXX").string();
        ASSERT_NE(mkdtemp(state.data()), nullptr);
        state_ = state;
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Lumora"));
        QApplication::setApplicationVersion(QStringLiteral("0.0-test"));
        // Windows come and go in every test; none of them ends the program.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(state_, ignored);
    }

private:
    QApplication* app_ = nullptr;
    std::filesystem::path state_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

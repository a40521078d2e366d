#include "cli/ConsoleWindow.h"

#include <cstdio>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "text/StringCtrl.h"

namespace lumora::cli {

void PrintLine(std::FILE* stream, const std::u16string& text) {
    std::string line = WideToUtf8(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

void ConsoleWindow::SetItemText(int controlId, const std::u16string& text) {
    std::lock_guard lock(mutex_);
    auto& current = texts_[controlId];
    if (current == text) return;
    current = text;
    bool status = controlId == IDC_STATUS_MAIN || controlId == IDC_STATUS_PROGRESS;
    if (status && !quiet_ && !text.empty()) PrintLine(stderr, text);
}

std::u16string ConsoleWindow::GetItemText(int controlId) {
    std::lock_guard lock(mutex_);
    auto found = texts_.find(controlId);
    return found == texts_.end() ? std::u16string() : found->second;
}

void ConsoleWindow::MessageBox(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    PrintLine(stderr, text);
}

std::vector<std::size_t> ConsoleWindow::PickedAlbumPositions() {
    std::lock_guard lock(mutex_);
    return picked_;
}

void ConsoleWindow::SetPicked(std::vector<std::size_t> positions) {
    std::lock_guard lock(mutex_);
    picked_ = std::move(positions);
}

void ConsoleWindow::OpenFolder(const std::u16string& folder) {
    PrintLine(stderr, u"打开文件夹: " + folder);
}


}  // namespace lumora::cli

namespace lumora::cli {

void PrintSettingsProblem(const MainController& controller) {
    if (!controller.settingsProblem().empty()) PrintLine(stderr, controller.SettingsProblemText());
}

}  // namespace lumora::cli

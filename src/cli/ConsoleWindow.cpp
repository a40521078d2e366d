#include "cli/ConsoleWindow.h"

#include <algorithm>
#include <cctype>

#include "app/ControlIds.h"
#include "app/MainController.h"
#include "cli/Output.h"
#include "cli/ProgressLine.h"

namespace lumora::cli {
namespace {

// The text with its numbers taken out: two texts with the same shape say
// the same thing about a count that moved on.
std::u16string Shape(const std::u16string& text) {
    std::u16string shape;
    for (char16_t c : text) {
        if (c < 0x80 && std::isdigit(static_cast<unsigned char>(c))) continue;
        shape += c;
    }
    return shape;
}

bool HasDigit(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

ConsoleWindow::ConsoleWindow(StatusStyle style, ProgressLine* progress) : style_(style), progress_(progress) {}

ConsoleWindow::~ConsoleWindow() { Flush(); }

void ConsoleWindow::SetItemText(int controlId, const std::u16string& text) {
    std::lock_guard lock(mutex_);
    auto& current = texts_[controlId];
    if (current == text) return;
    current = text;
    const bool status = controlId == IDC_STATUS_MAIN || controlId == IDC_STATUS_PROGRESS;
    if (status && !text.empty()) ShowStatus(text);
}

void ConsoleWindow::ShowStatus(const std::u16string& text) {
    switch (style_) {
    case StatusStyle::Quiet: return;
    case StatusStyle::Terminal:
        if (progress_) progress_->SetStatus(text);
        return;
    case StatusStyle::Lines:
        if (!heldCounter_.empty() && Shape(heldCounter_) != Shape(text)) FlushLocked();
        if (HasDigit(text)) {
            heldCounter_ = text;  // printed when a text of another shape follows
        } else {
            PrintLine(stderr, text);
        }
        return;
    }
}

void ConsoleWindow::FlushLocked() {
    if (heldCounter_.empty()) return;
    PrintLine(stderr, heldCounter_);
    heldCounter_.clear();
}

void ConsoleWindow::Flush() {
    std::lock_guard lock(mutex_);
    FlushLocked();
}

void ConsoleWindow::PrintStatusIfQuiet() {
    std::lock_guard lock(mutex_);
    const std::u16string& status = texts_[IDC_STATUS_PROGRESS];
    if (style_ == StatusStyle::Quiet && !status.empty()) PrintLine(stderr, status);
}

void ConsoleWindow::MessageBox(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    FlushLocked();
    if (progress_) {
        progress_->PrintAbove(text);
    } else {
        PrintLine(stderr, text);
    }
}

void ConsoleWindow::OpenFolder(const std::u16string& folder) { MessageBox(u"打开文件夹: " + folder); }

void PrintSettingsProblem(const MainController& controller) {
    if (!controller.settingsProblem().empty()) PrintLine(stderr, controller.SettingsProblemText());
}

void PrintSettingsProblem(const SettingsStore& settings) {
    if (!settings.problem().empty()) PrintLine(stderr, settings.ProblemText());
}

void PrintSettingsMessage(const std::u16string& text) { PrintLine(stderr, text); }

}  // namespace lumora::cli

#include "cli/ConsoleView.h"

#include <algorithm>
#include <cctype>

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

ConsoleView::ConsoleView(StatusStyle style, ProgressLine* progress) : style_(style), progress_(progress) {}

ConsoleView::~ConsoleView() { Flush(); }

void ConsoleView::MainStatus(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    ShowStatus(mainStatus_, text);
}

void ConsoleView::ProgressStatus(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    ShowStatus(progressStatus_, text);
}

void ConsoleView::ShowStatus(std::u16string& shown, const std::u16string& text) {
    if (shown == text) return;
    shown = text;
    if (text.empty()) return;
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

void ConsoleView::FlushLocked() {
    if (heldCounter_.empty()) return;
    PrintLine(stderr, heldCounter_);
    heldCounter_.clear();
}

void ConsoleView::Flush() {
    std::lock_guard lock(mutex_);
    FlushLocked();
}

void ConsoleView::PrintStatusIfQuiet() {
    std::lock_guard lock(mutex_);
    if (style_ == StatusStyle::Quiet && !progressStatus_.empty()) PrintLine(stderr, progressStatus_);
}

void ConsoleView::Message(const std::u16string& text) {
    std::lock_guard lock(mutex_);
    FlushLocked();
    if (progress_) {
        progress_->PrintAbove(text);
    } else {
        PrintLine(stderr, text);
    }
}

void ConsoleView::OpenFolder(const std::u16string& folder) { Message(u"打开文件夹: " + folder); }

}  // namespace lumora::cli

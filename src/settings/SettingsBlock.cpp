#include "settings/SettingsBlock.h"

#include <algorithm>

#include "text/StringCtrl.h"

namespace lumora {
namespace {

// Little-endian cursors over the image. Reads past the end give zero, which
// is how a short file leaves the rest of the block empty.
class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(static_cast<std::uint8_t>(v & 0xFF));
        U8(static_cast<std::uint8_t>(v >> 8));
    }
    void Text(std::span<const char16_t> field) {
        for (char16_t c : field) U16(c);
    }

private:
    std::vector<std::uint8_t>& out_;
};

class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
    std::uint8_t U8() { return pos_ < in_.size() ? in_[pos_++] : std::uint8_t{0}; }
    std::uint16_t U16() {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | (U8() << 8));
    }
    void Text(std::span<char16_t> field) {
        for (char16_t& c : field) c = U16();
    }

private:
    std::span<const std::uint8_t> in_;
    std::size_t pos_ = 0;
};

std::span<HistoryEntry, kHistoryEntries> History(SettingsBlock& block, HistoryKind kind) {
    return kind == HistoryKind::Address ? std::span(block.addressHistory) : std::span(block.saveFolderHistory);
}

std::span<const HistoryEntry, kHistoryEntries> History(const SettingsBlock& block, HistoryKind kind) {
    return kind == HistoryKind::Address ? std::span(block.addressHistory) : std::span(block.saveFolderHistory);
}

// Like the dialog framework's integer edit: blanks, a sign, digits up to the
// first other character; no digit at all reads as 0. A number too large for
// 32 bits stays too large, so that no range check takes it for another.
std::int64_t ReadDialogInteger(const std::u16string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    constexpr std::int64_t kTooLarge = std::int64_t{1} << 40;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min(value * 10 + (text[i] - u'0'), kTooLarge);
    }
    return negative ? -value : value;
}

}  // namespace

std::vector<std::uint8_t> SerializeSettings(const SettingsBlock& block) {
    std::vector<std::uint8_t> out;
    out.reserve(kSettingsBlockSize);
    Writer w(out);
    for (const DownloadParams& p : block.downloadParams) {
        w.U16(p.minKB);
        w.U16(p.maxKB);
        w.U16(p.threadCount);
        w.U16(p.timeoutSeconds);
    }
    for (const NameRules& r : block.nameRules) {
        for (const NameText* t :
             {&r.filePrefix, &r.fileSuffix, &r.replaceWhat, &r.replaceWith, &r.folderPrefix, &r.folderSuffix})
            w.Text(*t);
        w.U16(r.optionFlags);
        w.U8(r.baseNameChoice);
        w.U8(r.folderChoice);
    }
    for (const HistoryEntry& e : block.addressHistory) w.Text(e);
    for (const HistoryEntry& e : block.saveFolderHistory) w.Text(e);
    return out;
}

SettingsBlock ParseSettings(std::span<const std::uint8_t> bytes) {
    SettingsBlock block;
    Reader r(bytes.first(std::min(bytes.size(), kSettingsBlockSize)));
    for (DownloadParams& p : block.downloadParams) {
        p.minKB = r.U16();
        p.maxKB = r.U16();
        p.threadCount = r.U16();
        p.timeoutSeconds = r.U16();
    }
    for (NameRules& n : block.nameRules) {
        for (NameText* t :
             {&n.filePrefix, &n.fileSuffix, &n.replaceWhat, &n.replaceWith, &n.folderPrefix, &n.folderSuffix})
            r.Text(*t);
        n.optionFlags = r.U16();
        n.baseNameChoice = r.U8();
        n.folderChoice = r.U8();
    }
    for (HistoryEntry& e : block.addressHistory) r.Text(e);
    for (HistoryEntry& e : block.saveFolderHistory) r.Text(e);
    return block;
}

std::u16string FixedFieldText(std::span<const char16_t> field) {
    const auto end = std::find(field.begin(), field.end(), u'\0');
    return std::u16string(field.begin(), end);
}

void SetFixedFieldText(std::span<char16_t> field, std::u16string_view text, std::size_t maxChars) {
    text = text.substr(0, text.find(u'\0'));
    const std::size_t n = std::min({text.size(), maxChars, field.empty() ? 0 : field.size() - 1});
    std::fill(std::copy_n(text.begin(), n, field.begin()), field.end(), u'\0');
}

std::u16string HistoryText(const SettingsBlock& block, HistoryKind kind, std::size_t index) {
    if (index >= kHistoryEntries) return {};
    return FixedFieldText(History(block, kind)[index]);
}

void SetHistoryText(SettingsBlock& block, HistoryKind kind, std::size_t index, std::u16string_view text) {
    if (index < kHistoryEntries) SetFixedFieldText(History(block, kind)[index], text, kHistoryUnits - 1);
}

bool AddToHistory(SettingsBlock& block, int kind, const std::u16string& text) {
    if (kind != 0 && kind != 1) return false;
    // An empty entry means "no entry": storing one would only push out the oldest.
    if (text.empty() || text.size() >= kHistoryUnits) return false;
    const auto historyKind = static_cast<HistoryKind>(kind);
    const std::u16string wanted = ToLowerSimple(text);
    for (std::size_t i = 0; i < kHistoryEntries; ++i)
        if (ToLowerSimple(HistoryText(block, historyKind, i)) == wanted) return false;
    auto entries = History(block, historyKind);
    std::copy_backward(entries.begin(), entries.end() - 1, entries.end());
    SetHistoryText(block, historyKind, 0, text);
    return true;
}

void MergeChanges(NameRules& target, const NameRules& before, const NameRules& after) {
    for (NameText NameRules::*text : {&NameRules::filePrefix, &NameRules::fileSuffix, &NameRules::replaceWhat,
                                      &NameRules::replaceWith, &NameRules::folderPrefix, &NameRules::folderSuffix}) {
        if (before.*text != after.*text) target.*text = after.*text;
    }
    const std::uint16_t changedBits = before.optionFlags ^ after.optionFlags;
    target.optionFlags =
        static_cast<std::uint16_t>((target.optionFlags & ~changedBits) | (after.optionFlags & changedBits));
    if (before.baseNameChoice != after.baseNameChoice) target.baseNameChoice = after.baseNameChoice;
    if (before.folderChoice != after.folderChoice) target.folderChoice = after.folderChoice;
}

void MergeChanges(DownloadParams& target, const DownloadParams& before, const DownloadParams& after) {
    for (std::uint16_t DownloadParams::*field : {&DownloadParams::minKB, &DownloadParams::maxKB,
                                                 &DownloadParams::threadCount, &DownloadParams::timeoutSeconds}) {
        if (before.*field != after.*field) target.*field = after.*field;
    }
}

std::u16string ParamErrorText(std::u16string_view what) { return kParamErrorMessage + (u"：" + std::u16string(what)); }

std::optional<std::u16string> ApplyDownloadParamsInput(DownloadParams& params, const std::u16string& threadsText,
                                                       const std::u16string& timeoutText, const std::u16string& minText,
                                                       const std::u16string& maxText) {
    struct Field {
        const std::u16string& text;
        std::int64_t low, high;
        const char16_t* name;
        std::uint16_t DownloadParams::*member;
    };
    const Field fields[] = {
        {threadsText, 1, 15, u"线程数(1~15)", &DownloadParams::threadCount},
        {timeoutText, 10, 65535, u"超时(10~65535秒)", &DownloadParams::timeoutSeconds},
        {minText, 0, 65535, u"图片最小值(0~65535K)", &DownloadParams::minKB},
        {maxText, 0, 65535, u"图片最大值(0~65535K)", &DownloadParams::maxKB},
    };
    // Every field is checked before any is stored: a refused entry changes nothing.
    DownloadParams entered = params;
    for (const Field& field : fields) {
        const std::int64_t value = ReadDialogInteger(field.text);
        if (value < field.low || value > field.high) return ParamErrorText(field.name);
        entered.*field.member = static_cast<std::uint16_t>(value);
    }
    // A window no picture fits through would fail every picture.
    if (entered.maxKB != 0 && entered.minKB > entered.maxKB) {
        return ParamErrorText(u"图片最小值不能大于图片最大值（0表示不限）");
    }
    params = entered;
    return std::nullopt;
}

}  // namespace lumora

#include "download/DownloadJob.h"

#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"

namespace lumora {
namespace {

// A marker holds one address; anything larger is not one.
constexpr std::size_t kMaxMarkerBytes = 64 * 1024;

std::filesystem::path PathOf(const std::u16string& text) {
    return std::filesystem::path(WideToUtf8(text));
}

}  // namespace

void DownloadJob::Clear() {
    addresses.clear();
    fileNames.clear();
    headerTexts.clear();
}

bool IsAbsoluteName(const std::u16string& name) {
    return !name.empty() && name[0] == u'/';
}

std::u16string DownloadJob::SavePath(std::size_t i) const {
    const std::u16string& name = fileNames[i];
    return IsAbsoluteName(name) ? name : albumFolder + name;
}

std::string ToUtf16Le(const std::u16string& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::u16string FromUtf16Le(const std::string& bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return text;
}

bool WriteListFile(const DownloadJob& job, const std::filesystem::path& file) {
    std::string data;
    for (const auto& address : job.addresses) data += WideToGbk(address) + "\r\n";
    return WriteFileAtomically(file, data, 0666);
}

void SaveLastFirstAddress(const std::u16string& address, const std::u16string& folder) {
    WriteFileAtomically(PathOf(folder + u"pic.lumora"), ToUtf16Le(address), 0666);
}

std::u16string LoadLastFirstAddress(const std::u16string& folder) {
    // Read without blocking (a pipe planted there never hangs the run) and
    // only when it is a regular file of marker size; anything else is no
    // marker, and the album's next completion replaces it.
    std::string data;
    std::string problem;
    if (ReadRegularFile(PathOf(folder + u"pic.lumora"), kMaxMarkerBytes + 1, data, problem) != FileRead::Read ||
        data.size() > kMaxMarkerBytes) {
        return {};
    }
    std::u16string text = FromUtf16Le(data);
    std::size_t lineEnd = text.find(u'\n');
    if (lineEnd != std::u16string::npos) text.erase(lineEnd);
    return text;
}

}  // namespace lumora

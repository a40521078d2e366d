#include "download/DownloadJob.h"

#include "settings/SettingsFile.h"
#include "text/StringCtrl.h"
#include "web/AtomicFile.h"

namespace lumora {
namespace {

// A marker holds one address; anything larger is not one.
constexpr std::size_t kMaxMarkerBytes = 64 * 1024;

std::filesystem::path PathOf(const std::u16string& text) { return std::filesystem::path(WideToUtf8(text)); }

}  // namespace

void DownloadJob::Clear() {
    addresses.clear();
    fileNames.clear();
    headerTexts.clear();
    descriptions.clear();
}

bool IsAbsoluteName(const std::u16string& name) { return !name.empty() && name[0] == u'/'; }

std::u16string DownloadJob::SavePath(std::size_t i) const {
    const std::u16string& name = fileNames[i];
    return IsAbsoluteName(name) ? name : albumFolder + name;
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
    const FileContents data = ReadRegularFile(PathOf(folder + u"pic.lumora"), kMaxMarkerBytes + 1);
    if (!data || !*data || (*data)->size() > kMaxMarkerBytes) return {};
    std::u16string text = FromUtf16Le(**data);
    std::size_t lineEnd = text.find(u'\n');
    if (lineEnd != std::u16string::npos) text.erase(lineEnd);
    return text;
}

}  // namespace lumora

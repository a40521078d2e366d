// The picture-list parser on arbitrary page text, each entry then named into
// a job the way a download run does: every name stays one component of at
// most 255 bytes inside the album folder.
#include <unistd.h>

#include <filesystem>

#include "download/PictureNaming.h"
#include "fuzz_support.h"
#include "site/PicturePages.h"
#include "text/StringCtrl.h"

using namespace lumora;

namespace {

const std::u16string& SaveFolder() {
    static const std::u16string folder = [] {
        std::filesystem::path dir =
            std::filesystem::temp_directory_path() / ("lumora-fuzz-names-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        return Utf8ToWide(dir.string()) + u"/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    NameRules rules;
    rules.baseNameChoice = in.Byte() % 3;
    rules.folderChoice = 1;  // no album folder: nothing is created per input
    ST_PERLISTRECORD album;
    album.title = Utf8ToWide(in.Bytes(in.Byte()));
    CleanFileName(album.title, kTimeStampFallback, true);
    album.address = u"http://dp.pconline.com.cn/photo/list_1.html";
    const std::u16string text = Utf8ToWide(in.Rest());

    DownloadJob job;
    job.albumFolder = SaveFolder();
    NamingContext context;
    context.rules = &rules;
    context.albumName = album.title;
    const std::vector<PictureEntry> entries = ParsePicturePage(text, album);
    for (const PictureEntry& entry : entries) AddPictureToJob(job, context, entry.address, entry.description, u"");

    fuzz::Check(job.size() == entries.size(), "every entry becomes an item");
    for (std::size_t i = 0; i < job.size(); ++i) {
        const std::u16string& name = job.fileNames[i];
        fuzz::Check(!name.empty() && name.find(u'/') == std::u16string::npos, "a name is one component");
        fuzz::Check(name != u"." && name != u"..", "a name never leaves its folder");
        fuzz::Check(WideToUtf8(name).size() <= kMaxComponentBytes, "a name fits the file system");
        fuzz::Check(job.SavePath(i).starts_with(job.albumFolder), "items are saved in the album folder");
    }
    return 0;
}

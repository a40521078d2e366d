#include "download/AlbumCollector.h"

#include <sys/stat.h>

#include "text/Format.h"
#include "text/StringCtrl.h"

namespace lumora {

AlbumCollector::AlbumCollector(DownloadJob& job, NamingContext& context,
                               std::function<void(const std::u16string&)> showProgress,
                               std::function<void(const std::u16string&)> appendPictureName)
    : job_(job),
      context_(context),
      showProgress_(std::move(showProgress)),
      appendPictureName_(std::move(appendPictureName)) {}

bool AlbumCollector::Add(const std::u16string& address, const std::u16string& description,
                         const std::u16string& headerText) {
    if (job_.empty()) {
        SetUpAlbumFolder(job_, context_);
        if (placeFolder_) placeFolder_(job_.albumFolder);
        // One level only; a folder that exists already or cannot be made is
        // left to the downloads into it.
        ::mkdir(WideToUtf8(job_.albumFolder).c_str(), 0777);
        context_.lastFirstAddress = LoadLastFirstAddress(job_.albumFolder);
    }
    if (AddPictureToJob(job_, context_, address, description, headerText) == PictureAdded::AlbumDone) return false;
    if (showProgress_) {
        showProgress_(FormatText(u"已获取到%d张图片信息", {static_cast<std::int64_t>(job_.size())}));
    }
    const std::uint16_t options = context_.rules ? context_.rules->optionFlags : 0;
    if ((options & kOptWriteNameFile) != 0 && appendPictureName_) appendPictureName_(description);
    return true;
}

}  // namespace lumora

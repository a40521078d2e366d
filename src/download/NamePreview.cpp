#include "download/NamePreview.h"

#include "download/PictureNaming.h"

namespace lumora {

NamePreview PreviewNames(const NameRules& rules, const NamePreviewAlbum& album) {
    // The marker belongs to a real folder: the preview ends no album early.
    NameRules shown = rules;
    shown.optionFlags &= static_cast<std::uint16_t>(~kOptSkipDownloadedBefore);
    NamingContext context;
    context.rules = &shown;
    context.albumName = album.title;
    context.albumPosition = album.position;
    context.pickedCount = 1;
    context.albumCount = album.albumCount;
    context.spaceName = album.spaceName;
    DownloadJob job;
    job.albumFolder = album.spaceName;
    SetUpAlbumFolder(job, context);
    const std::u16string base = u"http://img.pconline.com.cn/images/photoblog/";
    AddPictureToJob(job, context, base + u"sunset.jpg", u"日落", u"");
    AddPictureToJob(job, context, base + u"sunset.jpg", u"日落", u"");
    AddPictureToJob(job, context, base + u"hill.png", u"远山.png", u"");
    return {job.albumFolder, job.fileNames};
}

}  // namespace lumora

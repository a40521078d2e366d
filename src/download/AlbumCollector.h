// One album's pictures collected into the download job, as the album page is
// read: what goes around the naming of each picture. With the first picture
// the album folder is set up, created and its marker read; each picture is
// then named and told of (the progress text, the picture-name file).
#pragma once

#include <functional>
#include <string>

#include "download/DownloadJob.h"
#include "download/PictureNaming.h"

namespace lumora {

class AlbumCollector {
public:
    // Both may be empty. `context` and `job` outlive the collector; the
    // job's albumFolder is the save folder when the album starts.
    AlbumCollector(DownloadJob& job, NamingContext& context, std::function<void(const std::u16string&)> showProgress,
                   std::function<void(const std::u16string&)> appendPictureName);

    // False when the album ends at this picture ("skip downloaded before"
    // met the picture the folder's marker names), which is not added.
    bool Add(const std::u16string& address, const std::u16string& description, const std::u16string& headerText);
    // Called with the album folder the rules give, before it is made; may put the album elsewhere.
    void PlaceFolderWith(std::function<void(std::u16string& albumFolder)> place) { placeFolder_ = std::move(place); }

private:
    DownloadJob& job_;
    NamingContext& context_;
    const std::function<void(const std::u16string&)> showProgress_;
    const std::function<void(const std::u16string&)> appendPictureName_;
    std::function<void(std::u16string&)> placeFolder_;
};

}  // namespace lumora

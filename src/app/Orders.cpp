#include "app/Orders.h"

namespace lumora {

DownloadOrder OrderForPicks(const AlbumList& albums, const std::vector<std::size_t>& positions,
                            std::u16string saveFolder) {
    DownloadOrder order;
    order.saveFolder = std::move(saveFolder);
    for (std::size_t position : positions) {
        if (std::optional<ST_PERLISTRECORD> album = albums.at(position)) order.albums.push_back(std::move(*album));
    }
    return order;
}

}  // namespace lumora

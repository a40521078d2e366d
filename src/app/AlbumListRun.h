// The get-albums run: the member's album-list pages read one after another
// by the site's adapter, each album shown as it is found, and the totals.
#pragma once

#include <string>

#include "app/Orders.h"
#include "app/SiteHost.h"

namespace lumora {

// The whole get-albums run, on the album-list worker.
void GetAlbumList(SiteHost& host, const AlbumQuery& query);

// Why a get-albums run found no album, as its status line says it:
// nothing on the page, or the page could not be read. Empty when albums were
// found, or when the run did not get as far as a page.
// With `address`, a fetched page without albums also names the check that tells why.
std::u16string EmptyListReason(const SiteSession& session, const std::u16string& address = {});

// Reads every album-list page from the adapter's template and appends album records.
void ReadAlbumPages(SiteHost& host, const SiteAdapter& adapter, const std::u16string& pagesTemplate);

}  // namespace lumora

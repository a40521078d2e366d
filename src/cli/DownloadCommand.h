// lumora-cli download: a member's albums into folders.
#pragma once

#include <string>
#include <vector>

#include "app/DownloadReport.h"

namespace lumora::cli {

int RunDownload(const std::vector<std::string>& args);

// One line per album with its counts, then every failed picture and why.
void PrintSummary(const DownloadReport& report);
// 0 when every picture asked for was saved, else 1.
int DownloadExitStatus(const DownloadReport& report);

}  // namespace lumora::cli

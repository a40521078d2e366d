// Ids of the main window's controls; the window interface is keyed by them.
#pragma once

namespace lumora {

enum ControlId : int {
    IDC_SAVE_PATH = 1000,
    IDC_ADDRESS = 1001,
    IDC_SITE = 1002,
    IDC_GRID = 1003,
    IDC_GET_ALBUMS = 1004,
    IDC_DOWNLOAD = 1005,
    IDC_STATUS_PROGRESS = 1006,
    IDC_CHOOSE_FOLDER = 1007,
    IDC_OPEN_FOLDER = 1008,
    IDC_STATUS_MAIN = 1009,
    IDC_ALBUM_GROUP = 1011,
    IDC_SELECT_ALL = 1012,
    IDC_BANNER = 1013,
    IDC_PICTURE_MODE = 1014,
    IDC_FIND = 1034,
    IDC_SUB_TYPE = 1035,
    IDC_FILTER = 1036,
    IDC_EXPORT = 1037,
};

}  // namespace lumora

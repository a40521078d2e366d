// Ids of the main window's controls, by which the window interface is keyed,
// and of its menu commands, shared by the option switches and the menu bar.
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

// Menu command ids, a line for each group the menu's separators make (a long
// group takes two); the log-in entries have theirs in LoginPages.h.
enum MenuCommandId : int {
    // "设置": its two dialogs, the option switches (OptionFlags.h, each named
    // after its bit) and the archive switch.
    ID_DOWNLOAD_SETTINGS = 32778,
    ID_NAME_SETTINGS = 32779,
    ID_LIST_FILE_ONLY = 32802,
    ID_WRITE_NAME_FILE = 32804,
    ID_FIX_PICTURE_ORDER = 32799,
    ID_FIX_PICTURE_FORMAT = 32800,
    ID_SKIP_DOWNLOADED_BEFORE = 32774,
    ID_OPEN_FOLDER_WHEN_DONE = 32812,
    ID_ITEM_MAIN_PICTURES_ONLY = 32808,
    ID_ITEM_DESCRIPTION_PICTURES_ONLY = 32814,
    ID_LARGE_PICTURES = 32776,
    ID_SKIP_SAVED = 32815,      // kSkipSavedText, kept in "lumora.ini" for every site
    ID_SKIP_DELETED = 32816,    // kSkipDeletedText, likewise; for queue runs and syncs
    ID_WRITE_MANIFEST = 32817,  // kWriteManifestText, likewise
    // "导入/导出" (disabled) and "帮助".
    ID_IMPORT_AND_DOWNLOAD = 32811,
    ID_EXPORT_DOWNLOAD_FILE = 32809,
    ID_EXPORT_LIST_FILE = 32810,
    ID_ABOUT = 32775,
    // Every menu command lies in this range; ids outside it are ignored.
    ID_FIRST_COMMAND = 32772,
    ID_LAST_COMMAND = 32823,
};

}  // namespace lumora

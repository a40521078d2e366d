#include "app/OptionFlags.h"

#include "app/ControlIds.h"
#include "settings/SettingsBlock.h"

namespace lumora {

const std::vector<OptionSwitch>& OptionSwitches() {
    static const std::vector<OptionSwitch> switches = {
        {ID_LIST_FILE_ONLY, kOptListFileOnly, u"只生成迅雷下载列表", "list-only"},
        {ID_WRITE_NAME_FILE, kOptWriteNameFile, u"生成图片原始名文件", "name-file"},
        {ID_FIX_PICTURE_ORDER, kOptFixPictureOrder, u"修正图片顺序", "fix-order"},
        {ID_FIX_PICTURE_FORMAT, kOptFixPictureFormat, u"修正图片格式", "fix-format"},
        {ID_SKIP_DOWNLOADED_BEFORE, kOptSkipDownloadedBefore, u"不下载以前下载过的图片", "skip-seen"},
        {ID_OPEN_FOLDER_WHEN_DONE, kOptOpenFolderWhenDone, u"下载完成后打开保存路径", "open-folder"},
        {ID_ITEM_MAIN_PICTURES_ONLY, kOptItemMainPicturesOnly, u"只下载淘宝宝贝主图", nullptr},
        {ID_ITEM_DESCRIPTION_PICTURES_ONLY, kOptItemDescriptionPicturesOnly, u"只下载宝贝描述里的图片", nullptr},
        {ID_LARGE_PICTURES, kOptLargePictures, u"又拍相册下载大图（不勾选为下载原图，下载原图速度更慢）", nullptr},
    };
    return switches;
}

const OptionSwitch* FindOptionByMenuId(int menuId) {
    for (const auto& option : OptionSwitches()) {
        if (option.menuId == menuId) return &option;
    }
    return nullptr;
}

const OptionSwitch* FindOptionByName(const std::string& cliName) {
    for (const auto& option : OptionSwitches()) {
        if (option.cliName && cliName == option.cliName) return &option;
    }
    return nullptr;
}

const std::vector<AppSwitch>& AppSwitches() {
    static const std::vector<AppSwitch> switches = {
        {ID_SKIP_SAVED, kSkipSavedText, "skip-saved", &AppSettings::skipSaved},
        {ID_SKIP_DELETED, kSkipDeletedText, "skip-deleted", &AppSettings::skipDeleted},
        {ID_WRITE_MANIFEST, kWriteManifestText, "manifest", &AppSettings::writeManifest},
    };
    return switches;
}

const AppSwitch* FindAppSwitchByMenuId(int menuId) {
    for (const AppSwitch& kept : AppSwitches()) {
        if (kept.menuId == menuId) return &kept;
    }
    return nullptr;
}

const AppSwitch* FindAppSwitchByName(const std::string& cliName) {
    for (const AppSwitch& kept : AppSwitches()) {
        if (cliName == kept.cliName) return &kept;
    }
    return nullptr;
}

bool IsOptionEnabled(int menuId, int siteIndex) {
    if (menuId == ID_LARGE_PICTURES) return siteIndex == 7;
    if (menuId == ID_ITEM_MAIN_PICTURES_ONLY || menuId == ID_ITEM_DESCRIPTION_PICTURES_ONLY) return siteIndex == 11;
    return FindOptionByMenuId(menuId) != nullptr;
}

bool ToggleOption(std::uint16_t& flags, int menuId) {
    const OptionSwitch* option = FindOptionByMenuId(menuId);
    if (!option) return false;
    if (flags & option->bit) {
        flags &= static_cast<std::uint16_t>(~option->bit);
    } else {
        flags |= option->bit;
        if (menuId == ID_ITEM_MAIN_PICTURES_ONLY) flags &= static_cast<std::uint16_t>(~kOptItemDescriptionPicturesOnly);
        if (menuId == ID_ITEM_DESCRIPTION_PICTURES_ONLY) flags &= static_cast<std::uint16_t>(~kOptItemMainPicturesOnly);
    }
    return true;
}

}  // namespace lumora

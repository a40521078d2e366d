#include "app/OptionFlags.h"

#include "settings/SettingsBlock.h"

namespace lumora {

const std::vector<OptionSwitch>& OptionSwitches() {
    static const std::vector<OptionSwitch> switches = {
        {32802, kOptListFileOnly, u"只生成迅雷下载列表", "list-only"},
        {32804, kOptWriteNameFile, u"生成图片原始名文件", "name-file"},
        {32799, kOptFixPictureOrder, u"修正图片顺序", "fix-order"},
        {32800, kOptFixPictureFormat, u"修正图片格式", "fix-format"},
        {32774, kOptSkipDownloadedBefore, u"不下载以前下载过的图片", "skip-seen"},
        {32812, kOptOpenFolderWhenDone, u"下载完成后打开保存路径", "open-folder"},
        {32808, kOptItemMainPicturesOnly, u"只下载淘宝宝贝主图", nullptr},
        {32814, kOptItemDescriptionPicturesOnly, u"只下载宝贝描述里的图片", nullptr},
        {32776, kOptLargePictures, u"又拍相册下载大图（不勾选为下载原图，下载原图速度更慢）", nullptr},
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

bool IsOptionEnabled(int menuId, int siteIndex) {
    if (menuId == 32776) return siteIndex == 7;
    if (menuId == 32808 || menuId == 32814) return siteIndex == 11;
    return FindOptionByMenuId(menuId) != nullptr;
}

bool ToggleOption(std::uint16_t& flags, int menuId) {
    const OptionSwitch* option = FindOptionByMenuId(menuId);
    if (!option) return false;
    if (flags & option->bit) {
        flags &= static_cast<std::uint16_t>(~option->bit);
    } else {
        flags |= option->bit;
        if (menuId == 32808) flags &= static_cast<std::uint16_t>(~kOptItemDescriptionPicturesOnly);
        if (menuId == 32814) flags &= static_cast<std::uint16_t>(~kOptItemMainPicturesOnly);
    }
    return true;
}

}  // namespace lumora

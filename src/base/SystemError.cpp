#include "base/SystemError.h"

#include <cerrno>

namespace lumora {

std::u16string SystemErrorText(int error) {
    switch (error) {
    case ENOSPC: return u"磁盘已满";
    case EDQUOT: return u"超出磁盘配额";
    case EACCES:
    case EPERM: return u"没有权限";
    case EROFS: return u"只读文件系统";
    case ENOENT: return u"文件夹不存在";
    case ENOTDIR: return u"路径中有一项不是文件夹";
    case EISDIR: return u"同名的文件夹已存在";
    case EEXIST: return u"同名的文件已存在";
    case ENAMETOOLONG: return u"文件名过长";
    case EIO: return u"读写设备出错";
    case EMFILE:
    case ENFILE: return u"打开的文件过多";
    case ELOOP: return u"符号链接过多";
    case EFBIG: return u"文件过大";
    case 0: return u"原因不明";
    default: break;
    }
    // Rare errors keep their number, which a search finds.
    std::u16string text = u"系统错误 ";
    for (char c : std::to_string(error)) text.push_back(static_cast<char16_t>(c));
    return text;
}

}  // namespace lumora

// Why a file or folder operation failed, in the words of the interface.
#pragma once

#include <string>

namespace lumora {

// "磁盘已满", "没有权限", "只读文件系统", ...: the reason behind an errno value.
std::u16string SystemErrorText(int error);

}  // namespace lumora

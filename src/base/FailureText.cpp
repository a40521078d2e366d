#include "base/FailureText.h"

#include "base/SystemError.h"

namespace lumora {

std::u16string FailureText(const Failure& failure) {
    switch (failure.code) {
    case FailureCode::System: return SystemErrorText(failure.systemError);
    case FailureCode::BrokenLink: return u"链接指向的文件不存在";
    case FailureCode::NotRegularFile: return u"不是普通文件";
    case FailureCode::ArchiveBusy: return u"下载记录被另一个程序占用";
    case FailureCode::ArchiveReadOnly: return u"下载记录只能读取，不能写入";
    case FailureCode::ArchiveUnopened: return u"无法打开文件";
    case FailureCode::ArchiveDamaged: return u"文件已损坏，或不是下载记录";
    case FailureCode::OutOfMemory: return u"内存不足";
    case FailureCode::Database: break;
    }
    std::u16string text = u"数据库错误 ";
    for (char c : std::to_string(failure.systemError)) text.push_back(static_cast<char16_t>(c));
    return text;
}

}  // namespace lumora

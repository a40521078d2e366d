// The words for a failure, in the language of the interface: the one place
// where a reason a user reads is made ("没有权限", "下载记录被另一个程序占用").
// Failed transfers have their own texts beside the fetch (FetchErrorMessage).
#pragma once

#include <string>

#include "base/Result.h"

namespace lumora {

std::u16string FailureText(const Failure& failure);

}  // namespace lumora

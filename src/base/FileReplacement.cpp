#include "base/FileReplacement.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/WriteAll.h"

namespace lumora {

FileReplacement::~FileReplacement() { Abandon(); }

void FileReplacement::Start(int fd, std::string temp, std::filesystem::path target) {
    Abandon();
    fd_ = fd;
    error_ = 0;
    temp_ = std::move(temp);
    target_ = std::move(target);
}

void FileReplacement::Fail() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

bool FileReplacement::Write(std::string_view data) {
    if (fd_ < 0 || error_ != 0) return false;
    if (!WriteAll(fd_, data.data(), data.size())) Fail();
    return error_ == 0;
}

bool FileReplacement::Commit(bool sync) {
    if (fd_ < 0) return false;
    if (error_ == 0 && sync && fsync(fd_) != 0) Fail();
    if (close(fd_) != 0) Fail();
    fd_ = -1;
    if (error_ == 0 && std::rename(temp_.c_str(), target_.c_str()) != 0) Fail();
    if (error_ != 0) unlink(temp_.c_str());
    return error_ == 0;
}

void FileReplacement::Abandon() {
    if (fd_ < 0) return;
    close(fd_);
    fd_ = -1;
    unlink(temp_.c_str());
}

}  // namespace lumora

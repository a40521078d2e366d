#include "samplesite/PortRelay.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace lumora::samplesite {

namespace {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

PortRelay::PortRelay(std::uint16_t listenPort, std::uint16_t targetPort) : targetPort_(targetPort) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    sockaddr_in address = loopback(listenPort);
    if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) < 0 ||
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(listenFd_, SOMAXCONN) < 0 || ::pipe2(wakePipe_, O_CLOEXEC) < 0) {
        std::string message = "cannot listen on 127.0.0.1:" + std::to_string(listenPort) + ": " + std::strerror(errno);
        for (int fd : {listenFd_, wakePipe_[0], wakePipe_[1]})
            if (fd >= 0) ::close(fd);
        throw std::runtime_error(message);
    }
    acceptThread_ = std::thread(&PortRelay::acceptLoop, this);
}

PortRelay::~PortRelay() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (auto& link : links_)
            for (int fd : {link.client, link.server})
                if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    }
    [[maybe_unused]] auto written = ::write(wakePipe_[1], "x", 1);
    acceptThread_.join();
    for (auto& link : links_) link.thread.join();
    for (int fd : {listenFd_, wakePipe_[0], wakePipe_[1]}) ::close(fd);
}

void PortRelay::acceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents != 0) return;
        reapFinished();
        int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in target = loopback(targetPort_);
        if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) < 0) {
            if (server >= 0) ::close(server);
            ::close(client);
            continue;
        }
        int one = 1;
        for (int fd : {client, server}) ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(client);
            ::close(server);
            return;
        }
        auto& link = links_.emplace_back();
        link.client = client;
        link.server = server;
        link.thread = std::thread(&PortRelay::pump, this, std::ref(link));
    }
}

// Copies both ways until both sides have finished sending; a half-close is
// passed on so that "read to end of stream" answers still end.
void PortRelay::pump(Link& link) {
    const int ends[2] = {link.client, link.server};
    bool open[2] = {true, true};  // whether each end may still send to us
    char buffer[65536];
    while (open[0] || open[1]) {
        pollfd fds[2] = {{open[0] ? ends[0] : -1, POLLIN, 0}, {open[1] ? ends[1] : -1, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        bool failed = false;
        for (int side = 0; side < 2 && !failed; ++side) {
            if (!open[side] || fds[side].revents == 0) continue;
            ssize_t n = ::recv(ends[side], buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n > 0) {
                failed = !sendAll(ends[1 - side], buffer, static_cast<std::size_t>(n));
            } else if (n == 0) {
                open[side] = false;
                ::shutdown(ends[1 - side], SHUT_WR);
            } else {
                failed = true;
            }
        }
        if (failed) break;
    }
    std::lock_guard lock(mutex_);
    ::close(link.client);
    ::close(link.server);
    link.client = link.server = -1;
    link.done = true;
}

void PortRelay::reapFinished() {
    std::list<Link> finished;
    {
        std::lock_guard lock(mutex_);
        for (auto it = links_.begin(); it != links_.end();) {
            auto next = std::next(it);
            if (it->done) finished.splice(finished.end(), links_, it);
            it = next;
        }
    }
    for (auto& link : finished) link.thread.join();
}

}  // namespace lumora::samplesite

// Listens on a chosen port of 127.0.0.1 and passes every connection through,
// byte for byte, to another local port. The test site always takes a free
// port; this gives the sample site a fixed one when asked for.
#pragma once

#include <cstdint>
#include <list>
#include <mutex>
#include <thread>

namespace lumora::samplesite {

class PortRelay {
public:
    // Throws std::runtime_error when the port cannot be bound.
    PortRelay(std::uint16_t listenPort, std::uint16_t targetPort);
    ~PortRelay();  // closes every connection and joins its thread
    PortRelay(const PortRelay&) = delete;
    PortRelay& operator=(const PortRelay&) = delete;

private:
    struct Link {
        int client = -1;
        int server = -1;
        bool done = false;
        std::thread thread;
    };

    void acceptLoop();
    void pump(Link& link);
    void reapFinished();

    std::uint16_t targetPort_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::mutex mutex_;  // guards links_ and the descriptors in it
    std::list<Link> links_;
    bool stopping_ = false;
    std::thread acceptThread_;
};

}  // namespace lumora::samplesite

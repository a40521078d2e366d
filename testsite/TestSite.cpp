#include "testsite/TestSite.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "testsite/AnswerWriter.h"
#include "testsite/RequestReader.h"

namespace lumora::testsite {

using namespace wire;

namespace {

std::string deflateWith(const std::string& data, int windowBits) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (rc != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

}  // namespace

std::string GzipCompress(const std::string& data) { return deflateWith(data, 15 + 16); }
std::string ZlibCompress(const std::string& data) { return deflateWith(data, 15); }

struct TestSite::Impl {
    struct Connection {
        int fd = -1;
        bool done = false;
        std::thread thread;
    };

    int listenFd = -1;
    int wakePipe[2] = {-1, -1};
    std::uint16_t port = 0;
    std::thread acceptThread;

    mutable std::mutex mutex;      // guards everything below
    std::condition_variable wake;  // cuts every pause short when stopping
    bool stopping = false;
    std::list<Connection> connections;  // a list: threads hold references
    std::map<std::pair<std::string, std::string>, Handler> routes;
    Handler fallback;
    std::vector<Request> log;

    explicit Impl(std::uint16_t wantedPort) {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listenFd < 0) fail("socket");
        int one = 1;
        ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(wantedPort);
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
            // A port asked for by number is the one a user can do something about.
            if (wantedPort != 0) fail("cannot listen on 127.0.0.1:" + std::to_string(wantedPort), false);
            fail("bind");
        }
        if (::listen(listenFd, SOMAXCONN) < 0) fail("listen");
        socklen_t size = sizeof address;
        if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &size) < 0) fail("getsockname");
        port = ntohs(address.sin_port);
        if (::pipe2(wakePipe, O_CLOEXEC) < 0) fail("pipe2");
        acceptThread = std::thread(&Impl::acceptLoop, this);
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            for (auto& connection : connections)
                if (connection.fd >= 0) ::shutdown(connection.fd, SHUT_RDWR);
        }
        wake.notify_all();
        if (wakePipe[1] >= 0) {
            [[maybe_unused]] auto written = ::write(wakePipe[1], "x", 1);
        }
        if (acceptThread.joinable()) acceptThread.join();
        // The accept thread is gone, so the list no longer grows.
        for (auto& connection : connections) connection.thread.join();
        for (int fd : {listenFd, wakePipe[0], wakePipe[1]})
            if (fd >= 0) ::close(fd);
    }

    [[noreturn]] void fail(const std::string& what, bool named = true) {
        std::string message = (named ? "TestSite: " : "") + what + ": " + std::strerror(errno);
        for (int fd : {listenFd, wakePipe[0], wakePipe[1]})
            if (fd >= 0) ::close(fd);
        listenFd = wakePipe[0] = wakePipe[1] = -1;
        throw std::runtime_error(message);
    }

    // Waits, but returns false at once when the site is stopping.
    bool pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex);
        if (duration.count() > 0) wake.wait_for(lock, duration, [this] { return stopping; });
        return !stopping;
    }

    void acceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            reapFinished();
            int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors or similar: do not spin.
                if (errno != EINTR && errno != ECONNABORTED && !pause(std::chrono::milliseconds(10))) return;
                continue;
            }
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::lock_guard lock(mutex);
            if (stopping) {
                ::close(fd);
                return;
            }
            auto& connection = connections.emplace_back();
            connection.fd = fd;
            connection.thread = std::thread(&Impl::serve, this, std::ref(connection));
        }
    }

    void reapFinished() {
        std::list<Connection> finished;
        {
            std::lock_guard lock(mutex);
            for (auto it = connections.begin(); it != connections.end();) {
                auto next = std::next(it);
                if (it->done) finished.splice(finished.end(), connections, it);
                it = next;
            }
        }
        for (auto& connection : finished) connection.thread.join();
    }

    void serve(Connection& connection) {
        const int fd = connection.fd;  // only this thread changes it
        Reader reader(fd);
        Outcome outcome = Outcome::Close;
        for (;;) {
            Request request;
            bool keepAlive = true;
            ReadStatus status = readRequest(reader, fd, request, keepAlive);
            if (status == ReadStatus::Closed) break;
            if (status == ReadStatus::Bad) {
                sendAll(fd, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                break;
            }
            {
                std::lock_guard lock(mutex);
                log.push_back(request);
            }
            outcome = writeAnswer(fd, request, dispatch(request), keepAlive,
                                  [this](std::chrono::milliseconds duration) { return pause(duration); });
            if (outcome != Outcome::KeepOpen) break;
        }
        finish(connection, outcome == Outcome::Reset);
    }

    void finish(Connection& connection, bool reset) {
        if (reset) {
            // Let the bytes already sent reach the client before the reset
            // overtakes them.
            for (int i = 0; i < 200; ++i) {
                int unsent = 0;
                if (::ioctl(connection.fd, SIOCOUTQ, &unsent) < 0 || unsent == 0) break;
                if (!pause(std::chrono::milliseconds(5))) break;
            }
            linger hard{1, 0};
            ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        } else {
            ::shutdown(connection.fd, SHUT_WR);
        }
        std::lock_guard lock(mutex);
        ::close(connection.fd);
        connection.fd = -1;
        connection.done = true;
    }

    Response dispatch(const Request& request) {
        Handler handler;
        {
            std::lock_guard lock(mutex);
            auto it = routes.find({request.host, request.path});
            if (it == routes.end()) it = routes.find({std::string{}, request.path});
            handler = it != routes.end() ? it->second : fallback;
        }
        if (!handler) return Response::Status(404, "Not Found");
        try {
            return handler(request);
        } catch (const std::exception& error) {
            return Response::Status(500, error.what());
        } catch (...) {
            return Response::Status(500, "handler failed");
        }
    }
};

TestSite::TestSite(std::uint16_t port) : impl_(std::make_unique<Impl>(port)) {}
TestSite::~TestSite() = default;

std::uint16_t TestSite::port() const { return impl_->port; }
std::string TestSite::baseUrl() const { return "http://127.0.0.1:" + std::to_string(impl_->port); }
std::string TestSite::proxyUrl() const { return baseUrl(); }

void TestSite::route(const std::string& host, const std::string& path, Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->routes[{toLower(host), path}] = std::move(handler);
}

void TestSite::route(const std::string& host, const std::string& path, Response response) {
    route(host, path, [response = std::move(response)](const Request&) { return response; });
}

void TestSite::fallback(Handler handler) {
    std::lock_guard lock(impl_->mutex);
    impl_->fallback = std::move(handler);
}

std::vector<Request> TestSite::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

std::size_t TestSite::requestCount(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<std::size_t>(
        std::count_if(impl_->log.begin(), impl_->log.end(), [&](const Request& r) { return r.path == path; }));
}

void TestSite::clearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

}  // namespace lumora::testsite

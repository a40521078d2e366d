// lumora-cli as a user runs it: a real process, its own program folder,
// and the loopback site playing a member of three albums of one picture each.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "testsite/TestSite.h"

namespace lumora::testing {

using testsite::Response;
namespace fs = std::filesystem;

struct CliRun {
    int status = -1;
    std::string out;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = fs::temp_directory_path() / ("lumora-cli-" + std::to_string(getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home_);
        fs::create_directories(home_);
        std::string blocks;
        for (int k = 1; k <= 3; ++k) {
            const std::string id = std::to_string(k);
            blocks += "<div class=\"picbox\"><a href=\"/photo/" + id + ".html\" title=\"Album " + id +
                      "\"><img src=\"//img.pconline.com.cn/c" + id + ".jpg\"></a></div>";
            site_.route(
                "dp.pconline.com.cn", "/photo/list_" + id + ".html",
                Response::Text("<li class=\"picture\"><img src=\"//img.pconline.com.cn/" + id + "/1_mthumb.jpg\">"));
            site_.route("img.pconline.com.cn", "/" + id + "/1.jpg", Response::Text("JPEG" + id, "image/jpeg"));
        }
        site_.route("dp.pconline.com.cn", "/m/myphoto_p1_n15.html",
                    Response::Text("<title>【x】Member_太平洋</title>" + blocks));
    }
    void TearDown() override { fs::remove_all(home_); }

    // Standard output, and standard error too when `errors` is set.
    CliRun Cli(const std::string& args, bool errors = false, const std::string& prefix = "") {
        std::string command = "env LUMORA_HOME='" + home_.string() + "' http_proxy='" + site_.proxyUrl() +
                              "' no_proxy= " + prefix + LUMORA_CLI_PATH " " + args +
                              (errors ? " 2>&1" : " 2>/dev/null");
        CliRun run;
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> buffer;
        std::size_t n;
        while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
        int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // Starts lumora-cli with `args`, its standard output going to `out`.
    pid_t Spawn(const std::string& args, const fs::path& out) {
        const std::string command = "exec env LUMORA_HOME='" + home_.string() + "' http_proxy='" + site_.proxyUrl() +
                                    "' no_proxy= " LUMORA_CLI_PATH " " + args + " >'" + out.string() + "' 2>/dev/null";
        const pid_t pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }

    // Runs lumora-cli with `args` to its end; its peak resident memory in MB.
    // Read from the process's own high-water mark while it runs: the
    // resource usage a parent gets also counts this test process, which the
    // child was forked from.
    long PeakMegabytes(const std::string& args, int& status) {
        const pid_t pid = Spawn(args, home_ / "peak.txt");
        long peakKB = 0;
        int raw = 0;
        while (waitpid(pid, &raw, WNOHANG) == 0) {
            // Before its exec the child is a copy of this process.
            std::ifstream file("/proc/" + std::to_string(pid) + "/status");
            bool cli = false;
            for (std::string line; std::getline(file, line);) {
                if (line.starts_with("Name:")) cli = line.find("lumora-cli") != std::string::npos;
                if (cli && line.starts_with("VmHWM:")) peakKB = std::max(peakKB, std::stol(line.substr(6)));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return peakKB / 1024;
    }

    static std::string ReadText(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    testsite::TestSite site_;
    fs::path home_;
};

}  // namespace lumora::testing

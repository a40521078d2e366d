// Shared set-up for the web-layer tests: a loopback site and a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "testsite/TestSite.h"
#include "text/StringCtrl.h"
#include "web/Fetch.h"

namespace lumora::testing {

class WebTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() / ("lumora-web-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::u16string Url(const std::string& path) const { return Utf8ToWide(site_.baseUrl() + path); }
    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
    std::u16string WidePath(const std::string& name) const { return Utf8ToWide(Path(name).string()); }

    static std::string ReadFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        return data.str();
    }
    // Files in the scratch folder, to catch left-over temporary files.
    std::size_t FileCount() const {
        std::size_t count = 0;
        for (auto& entry : std::filesystem::directory_iterator(dir_)) count += entry.is_regular_file();
        return count;
    }

    static double SecondsSince(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    testsite::TestSite site_;
    std::filesystem::path dir_;
};

}  // namespace lumora::testing

// Scratch folders for the settings tests.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace lumora::testing {

class ScratchFolderTest : public ::testing::Test {
protected:
    // A fresh folder of its own per test, so parallel runs never meet.
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumora-settings-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    void WriteBytes(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }
    std::string ReadBytes(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path dir_;
};

}  // namespace lumora::testing

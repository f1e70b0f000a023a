// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "vellora-cf-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        // The layer keeps paths canonical; so must the expectations.
        root_ = std::filesystem::path(pattern).lexically_normal().string();
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    std::string MakeFile(const std::string& relative) const {
        std::string path = Path(relative);
        std::ofstream(path) << "x";
        return path;
    }
    std::string MakeFolder(const std::string& relative) const {
        std::string path = Path(relative);
        std::filesystem::create_directories(path);
        return path;
    }

    std::string root_;
};

// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/temp_folder.h"

class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.emplace("vellora-cf");
        ASSERT_FALSE(folder_->path().empty());
        // The layer keeps paths canonical; so must the expectations.
        root_ = folder_->path().lexically_normal().string();
    }
    void TearDown() override { folder_.reset(); }

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

    std::optional<vellora_test::TempFolder> folder_;
    std::string root_;
};

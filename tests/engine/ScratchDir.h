// A private working folder for one test: files the program writes into the
// current directory (COMPARE.TXT, saved images) land there and go with it.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

class ScratchDir {
public:
    void Enter(const std::string& prefix) {
        oldCwd_ = std::filesystem::current_path().string();
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + std::to_string(getpid()) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(path_);
        ASSERT_EQ(chdir(path_.c_str()), 0);
    }
    void Leave() {
        if (oldCwd_.empty()) return;
        if (chdir(oldCwd_.c_str()) != 0) ADD_FAILURE() << "chdir back";
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        oldCwd_.clear();
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::string oldCwd_;
    std::filesystem::path path_;
};

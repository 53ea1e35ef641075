// Helpers for the content tests: a scratch folder and running a tool with its output caught.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/common/archive.h"

struct ToolRun {
    int status;  // exit status, -1 if the tool did not exit normally
    std::string out, err;
};

// A fresh folder under the system's temporary folder, named after the running test.
inline std::filesystem::path ScratchFolder(const std::string& tag) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("marrowdale-" + tag + "-" + std::to_string(::getpid()) + "-" +
                                 test->test_suite_name() + "-" + test->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    ReadWholeFile(path.string(), bytes, error);
    return {bytes.begin(), bytes.end()};
}

// Runs a program of the build folder with arguments; its output goes through files in `scratch`.
inline ToolRun RunTool(const std::string& program, const std::string& arguments,
                       const std::filesystem::path& scratch) {
    std::string out = (scratch / "tool.stdout").string(), err = (scratch / "tool.stderr").string();
    std::string command = std::string(MARROWDALE_BUILD_DIR) + "/" + program + " " + arguments +
                          " >" + out + " 2>" + err;
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
}

// Scratch files for tests: a fresh directory removed with everything in it, and a file's text.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quantora::test {

// A fresh directory under the system's temporary one, removed with everything in it.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        static std::atomic<int> n{0};
        path = std::filesystem::temp_directory_path() /
               ("quantora-test-" + std::to_string(getpid()) + "-" + std::to_string(++n));
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline std::string ReadText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quantora::test

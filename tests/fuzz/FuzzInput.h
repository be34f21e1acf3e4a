// Fuzz input handed to code that reads files by name: the bytes go into an anonymous in-memory
// file, reachable through /proc/self/fd, so nothing is written to disk per run.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace quantora::fuzz {

class MemoryFile {
  public:
    MemoryFile() : fd_(memfd_create("quantora-fuzz", 0)) {
        if (fd_ < 0) std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the file's contents.
    void Set(const uint8_t* data, size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<size_t>(n);
        }
    }
    const char* Path() const { return path_.c_str(); }

  private:
    int fd_;
    std::string path_;
};

}  // namespace quantora::fuzz

// Shared pieces of the fuzz targets: the input taken apart field by field, the input as a file,
// and a scratch SQLite database with the lab schema, without durability, removed at exit.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "quantora/base/Types.h"
#include "tests/support/TestDatabase.h"

namespace quantora::fuzz {

// Reads little-endian integers and byte strings off the input; zeros once it is used up.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Done() const { return p_ >= end_; }
    uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
    int64_t Int(size_t n) {
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(Byte()) << (8 * i);
        return static_cast<int64_t>(v);
    }
    AnsiString Bytes(size_t n = SIZE_MAX) {
        n = std::min<size_t>(n, static_cast<size_t>(end_ - p_));
        AnsiString s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// The input as a file, rewritten for each run; in /dev/shm when there is one, as nothing of a
// run needs to reach a disk.
class InputFile {
  public:
    ~InputFile() { std::remove(path_.c_str()); }
    void Set(const uint8_t* data, size_t size) {
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const char* Path() const { return path_.c_str(); }

  private:
    std::string path_ =
        std::string(std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : P_tmpdir) +
        "/quantora_fuzz_input_" + std::to_string(getpid());
};

// A scratch SQLite database with the lab schema, without durability, for the runs of one target.
struct ScratchDatabase : test::TestDatabase {
    // `setup`, when given, runs once after the schema is made.
    explicit ScratchDatabase(const char* setup = nullptr) : TestDatabase(true, true) {
        Exec("PRAGMA synchronous = OFF");  // a disk flush per run is of no use here
        if (setup) Exec(setup);
    }
};

}  // namespace quantora::fuzz

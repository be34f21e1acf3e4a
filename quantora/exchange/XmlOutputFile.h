// Buffered output of one export file: a 1 MiB buffer in front of the file, line feeds of text
// written as CR LF, and room handed out in the buffer so that values are formatted in place.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

namespace quantora {

class XmlOutputFile {
  public:
    static constexpr std::size_t BufferSize = std::size_t{1} << 20;

    XmlOutputFile() = default;
    XmlOutputFile(const XmlOutputFile&) = delete;
    XmlOutputFile& operator=(const XmlOutputFile&) = delete;
    // Writes what is buffered and closes the file; errors are lost here (call Close to see them).
    ~XmlOutputFile();

    // Creates or replaces the file (a file opened before is closed as by the destructor); false
    // when it cannot be opened.
    bool Open(const char* fileName);
    // Writes the buffer and closes the file; throws Exception when a write failed.
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // Bytes as they are.
    void Write(const char* data, std::size_t n) {
        if (n < BufferSize - used_) {
            std::memcpy(buffer_.get() + used_, data, n);
            used_ += n;
        } else {
            WriteLarge(data, n);
        }
    }
    void Write(std::string_view s) { Write(s.data(), s.size()); }
    void Put(char c) {
        if (used_ == BufferSize) Drain();
        buffer_[used_++] = c;
    }
    // A line end: CR LF.
    void NewLine() { Write("\r\n", 2); }
    // Text whose line feeds become CR LF.
    void Text(std::string_view s);

    // Room for `n` bytes (less than BufferSize) at the returned pointer; Commit says how many of
    // them were filled.
    char* Reserve(std::size_t n) {
        if (n >= BufferSize - used_) Drain();
        return buffer_.get() + used_;
    }
    void Commit(std::size_t n) { used_ += n; }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    // Writes what is buffered and closes the file, ignoring errors.
    void Abandon() noexcept;
    // Writes the buffer to the file; throws when no file is open.
    void Drain();
    void WriteLarge(const char* data, std::size_t n);

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<char[]> buffer_;
    // Bytes buffered; BufferSize while no file is open, so that every write reaches Drain.
    std::size_t used_ = BufferSize;
    bool failed_ = false;
};

}  // namespace quantora

// Buffered read-only input of one file for the XML reader: 64 KiB reads, a CR LF pair read as
// one line feed (text-mode input, the same on every platform), and the file offset of every byte.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

#include "quantora/base/Types.h"

namespace quantora {

class XmlInputBuffer {
  public:
    // Bytes asked of the file per read.
    static constexpr std::size_t ChunkSize = 64 * 1024;
    // Bytes of look-ahead a caller may ask of Fill.
    static constexpr std::size_t MaxLookAhead = 1024;

    XmlInputBuffer() = default;
    XmlInputBuffer(const XmlInputBuffer&) = delete;
    XmlInputBuffer& operator=(const XmlInputBuffer&) = delete;
    XmlInputBuffer(XmlInputBuffer&&) noexcept = default;
    XmlInputBuffer& operator=(XmlInputBuffer&&) noexcept = default;

    // Opens the file for reading, closing any file open before; false when it cannot be opened.
    bool Open(const char* fileName);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // The unread bytes in the buffer, untranslated.
    const char* Data() const { return buffer_.get() + pos_; }
    std::size_t Available() const { return end_ - pos_; }
    // Consumes n bytes of the buffer (n <= Available()).
    void Skip(std::size_t n) { pos_ += n; }

    // Reads from the file until at least `want` bytes (at most MaxLookAhead, or any number when
    // the buffer is empty) are unread, or the file ends; returns the number unread.
    std::size_t Fill(std::size_t want);

    // Next byte, a CR LF pair read as one line feed; -1 at the end of the file.
    int Get() {
        if (pos_ == end_ && Fill(1) == 0) return -1;
        const char c = buffer_[pos_++];
        if (c == '\r') return AfterCarriageReturn();
        return static_cast<unsigned char>(c);
    }

    // Appends the bytes up to the first `stop` byte to `out`, CR LF read as line feed; the stop
    // byte stays unread. False when the file ends before a stop byte.
    bool AppendUntil(char stop, AnsiString& out);

    // File offset of the next unread byte.
    long long Offset() const { return bufferOffset_ + static_cast<long long>(pos_); }

  private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    int AfterCarriageReturn();

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    long long bufferOffset_ = 0;  // file offset of buffer_[0]
    bool atEnd_ = false;
};

}  // namespace quantora

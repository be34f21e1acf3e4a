// Buffered read-only input of one file for the XML reader.
#include "quantora/exchange/XmlInputBuffer.h"

#include <cstring>

namespace quantora {

namespace {
constexpr std::size_t kCapacity = XmlInputBuffer::ChunkSize + XmlInputBuffer::MaxLookAhead;
}

bool XmlInputBuffer::Open(const char* fileName) {
    Close();
    if (fileName == nullptr) return false;
    // Binary mode: CR LF is translated here, so the reader behaves alike on every platform.
    std::FILE* f = std::fopen(fileName, "rb");
    if (f == nullptr) return false;
    file_.reset(f);
    // The buffer below does all buffering; a second copy in stdio would only cost time.
    std::setvbuf(f, nullptr, _IONBF, 0);
    if (!buffer_) buffer_ = std::make_unique<char[]>(kCapacity);
    return true;
}

void XmlInputBuffer::Close() {
    file_.reset();
    pos_ = end_ = 0;
    bufferOffset_ = 0;
    atEnd_ = false;
}

std::size_t XmlInputBuffer::Fill(std::size_t want) {
    std::size_t avail = end_ - pos_;
    if (avail >= want || !file_ || atEnd_) return avail;
    if (want > MaxLookAhead) want = MaxLookAhead;
    // Move the unread rest to the front, then read whole chunks behind it.
    if (pos_ > 0) {
        if (avail > 0) std::memmove(buffer_.get(), buffer_.get() + pos_, avail);
        bufferOffset_ += static_cast<long long>(pos_);
        pos_ = 0;
        end_ = avail;
    }
    while (end_ < want) {
        const std::size_t got = std::fread(buffer_.get() + end_, 1, kCapacity - end_, file_.get());
        if (got == 0) {
            atEnd_ = true;  // end of file or a read error: either way nothing more comes
            break;
        }
        end_ += got;
    }
    return end_ - pos_;
}

int XmlInputBuffer::AfterCarriageReturn() {
    if (pos_ == end_) Fill(1);
    if (pos_ < end_ && buffer_[pos_] == '\n') {
        ++pos_;
        return '\n';
    }
    return '\r';
}

bool XmlInputBuffer::AppendUntil(char stop, AnsiString& out) {
    for (;;) {
        if (pos_ == end_ && Fill(1) == 0) return false;
        const char* p = buffer_.get() + pos_;
        const std::size_t n = end_ - pos_;
        const char* hit = static_cast<const char*>(std::memchr(p, stop, n));
        const std::size_t len = hit ? static_cast<std::size_t>(hit - p) : n;

        // Copy [p, p + len) in runs between carriage returns, dropping a CR that precedes LF.
        std::size_t done = 0;
        bool undecided = false;
        while (done < len) {
            const char* cr = static_cast<const char*>(std::memchr(p + done, '\r', len - done));
            if (cr == nullptr) {
                out.append(p + done, len - done);
                done = len;
                break;
            }
            const std::size_t at = static_cast<std::size_t>(cr - p);
            out.append(p + done, at - done);
            if (at + 1 < len) {
                if (p[at + 1] != '\n') out.push_back('\r');
                done = at + 1;
            } else if (hit != nullptr) {
                out.push_back('\r');  // followed by the stop byte, which is not a line feed
                done = len;
            } else {
                done = at;  // the CR ends the buffer: its successor is not read yet
                undecided = true;
                break;
            }
        }
        pos_ += done;
        if (hit != nullptr && !undecided) return true;
        if (undecided && Fill(2) < 2) {
            // The file ends with this CR.
            out.push_back('\r');
            ++pos_;
        }
    }
}

}  // namespace quantora

// Buffered output of one export file.
#include "quantora/exchange/XmlOutputFile.h"

#include <cerrno>
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"

namespace quantora {

namespace {
// The failure with the system's reason (errno of the call that failed).
[[noreturn]] void ThrowWriteFailed() {
    throw Exception(std::string("Could not write output file: ") + std::strerror(errno));
}
}  // namespace

XmlOutputFile::~XmlOutputFile() {
    Abandon();
}

void XmlOutputFile::Abandon() noexcept {
    if (file_ && used_ > 0 && !failed_) std::fwrite(buffer_.get(), 1, used_, file_.get());
    file_.reset();
}

bool XmlOutputFile::Open(const char* fileName) {
    Abandon();
    used_ = BufferSize;
    failed_ = false;
    if (fileName == nullptr) return false;
    // Binary mode: line ends are written as CR LF here, the same on every platform.
    std::FILE* f = std::fopen(fileName, "wb");
    if (f == nullptr) return false;
    file_.reset(f);
    // This buffer does all buffering; a second copy in stdio would only cost time.
    std::setvbuf(f, nullptr, _IONBF, 0);
    if (!buffer_) buffer_ = std::make_unique<char[]>(BufferSize);
    used_ = 0;
    return true;
}

void XmlOutputFile::Close() {
    if (!file_) return;
    if (!failed_ && used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_.get()) != used_)
        failed_ = true;
    const int writeError = errno;
    used_ = BufferSize;
    const bool closed = std::fclose(file_.release()) == 0;
    if (failed_ || !closed) {
        if (failed_) errno = writeError;
        failed_ = false;
        ThrowWriteFailed();
    }
}

void XmlOutputFile::Drain() {
    if (!file_) throw quantora::MisuseError("XmlOutputFile: the file is not open");
    if (used_ > 0 && std::fwrite(buffer_.get(), 1, used_, file_.get()) != used_) {
        failed_ = true;
        used_ = 0;
        ThrowWriteFailed();
    }
    used_ = 0;
}

void XmlOutputFile::WriteLarge(const char* data, std::size_t n) {
    Drain();
    if (n < BufferSize) {
        std::memcpy(buffer_.get(), data, n);
        used_ = n;
    } else if (std::fwrite(data, 1, n, file_.get()) != n) {
        failed_ = true;
        ThrowWriteFailed();
    }
}

void XmlOutputFile::Text(std::string_view s) {
    for (;;) {
        const std::size_t lf = s.find('\n');
        if (lf == std::string_view::npos) {
            Write(s);
            return;
        }
        Write(s.data(), lf);
        NewLine();
        s.remove_prefix(lf + 1);
    }
}

}  // namespace quantora

// A temporary file beside the target, synced and renamed into place when complete.
#include "quantora/base/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "quantora/base/Exception.h"

namespace quantora {

namespace {

std::atomic<unsigned> g_counter{0};

// The folder of `path` ("." for a bare file name).
std::string FolderOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

}  // namespace

std::string CannotWrite(const std::string& path, int error) {
    return "cannot write '" + path + "': " + std::strerror(error);
}

FileReplacement::FileReplacement(std::string target) : target_(std::move(target)) {
    struct stat st {};
    if (::stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw Exception(CannotWrite(target_, EISDIR));
    const bool existed = ::stat(target_.c_str(), &st) == 0;
    const std::filesystem::path t(target_);
    // Hidden, named after the target and this process, so that a leftover says where it came
    // from; O_EXCL never takes over another writer's file.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = (t.parent_path() / ("." + t.filename().string() + "." + std::to_string(::getpid()) +
                                    "." + std::to_string(g_counter++) + ".tmp"))
                    .string();
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt > 100)) {
            const int err = errno;
            temp_.clear();
            throw Exception(CannotWrite(target_, err));
        }
    }
    if (existed) (void)::fchmod(fd_, st.st_mode & 07777);
}

FileReplacement::~FileReplacement() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void FileReplacement::Commit() {
    if (temp_.empty()) throw Exception("FileReplacement: already committed");
    if (::fsync(fd_) != 0 || ::close(std::exchange(fd_, -1)) != 0)
        throw Exception(CannotWrite(target_, errno));
    if (::rename(temp_.c_str(), target_.c_str()) != 0) throw Exception(CannotWrite(target_, errno));
    temp_.clear();
    // The rename itself is on disk only when the folder is.
    const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

void WriteFileReplacing(const std::string& path, std::string_view content) {
    FileReplacement file(path);
    std::ofstream out(file.TempPath(), std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) throw Exception(CannotWrite(path, errno));
    file.Commit();
}

}  // namespace quantora

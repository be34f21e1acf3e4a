// Writing a file that replaces another only when it is complete: the new content goes to a
// temporary file in the same folder, which is synced and renamed over the target on Commit.
// Until then the previous file stays as it was; a replacement never committed is removed.
#pragma once

#include <string>
#include <string_view>

namespace quantora {

class FileReplacement {
  public:
    // Creates the empty temporary file beside `target` (with the target's permissions when it
    // exists); throws Exception naming the target and the reason when it cannot.
    explicit FileReplacement(std::string target);
    // Removes the temporary file unless it was committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Where the new content is to be written (and closed) before Commit.
    const std::string& TempPath() const { return temp_; }
    const std::string& Target() const { return target_; }
    // Flushes the temporary file to disk, renames it to the target and flushes the folder;
    // throws Exception naming the target and the reason when a step fails.
    void Commit();

  private:
    std::string target_, temp_;
    int fd_ = -1;  // the temporary file, kept open to sync it
};

// Writes `content` to `path` through a FileReplacement: all of it, or nothing and the previous
// file kept; throws Exception naming the path and the reason.
void WriteFileReplacing(const std::string& path, std::string_view content);

// "cannot write '<path>': <text of errno>": the one form of a failed file write.
std::string CannotWrite(const std::string& path, int error);

}  // namespace quantora

// Command-line tools started with posix_spawn, standard output redirected to a file.
#include "bench/exchange/ShellTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace quantora::bench {

namespace {

// posix_spawn_file_actions_t with its destroy call.
class FileActions {
  public:
    FileActions() {
        if (posix_spawn_file_actions_init(&actions_) != 0)
            throw std::runtime_error("posix_spawn_file_actions_init failed");
    }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

std::string FindOnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? colon : colon - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + tool;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string::npos) return "";
        start = colon + 1;
    }
}

void RunToFile(const std::vector<std::string>& argv, const std::string& outPath) {
    FileActions actions;
    if (posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644) != 0)
        throw std::runtime_error("posix_spawn_file_actions_addopen failed");
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], actions.get(), nullptr, args.data(), environ);
    if (rc != 0) throw std::runtime_error(argv[0] + ": " + std::strerror(rc));
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) throw std::runtime_error(argv[0] + ": waitpid failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " failed (status " + std::to_string(status) + ")");
}

}  // namespace quantora::bench

// Starting, talking to and killing worker processes (posix_spawn, pipes, poll).
#include "tests/reliability/WorkerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace quantora::reliability {

WorkerProcess::WorkerProcess(const std::vector<std::string>& args) {
    int out[2];
    // Close-on-exec: other workers must not inherit the write end, or no one ever sees an end.
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> all{RELIABILITY_WORKER};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, RELIABILITY_WORKER, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
    if (rc != 0) {
        close(out_);
        throw std::runtime_error(std::string("posix_spawn failed: ") + std::strerror(rc));
    }
}

WorkerProcess::~WorkerProcess() {
    if (!reaped_) {
        Kill();
        Wait();
    }
    if (out_ >= 0) close(out_);
}

bool WorkerProcess::ReadLine(std::string& line, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        size_t nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        if (eof_) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out_, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char buf[4096];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            eof_ = true;
            if (!buffer_.empty()) {  // a last line without its end
                line.swap(buffer_);
                buffer_.clear();
                return true;
            }
            return false;
        }
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

std::vector<std::string> WorkerProcess::ReadRemainingLines(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    std::string line;
    bool killed = false;
    while (!eof_) {
        if (ReadLine(line, std::chrono::milliseconds(1000))) lines.push_back(line);
        if (!eof_ && !killed && std::chrono::steady_clock::now() > deadline) {
            killed = true;
            Kill();  // a hung worker: its output ends with its death
            lines.push_back("error: the worker did not finish in time and was killed");
        }
    }
    return lines;
}

void WorkerProcess::Kill() {
    if (!reaped_) kill(pid_, SIGKILL);
}

int WorkerProcess::Wait() {
    if (!reaped_) {
        while (waitpid(pid_, &status_, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
    return status_;
}

std::string WorkerProcess::Describe(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace quantora::reliability

// A running reliability_worker process with a pipe from its standard output; killed and reaped
// when the object goes away.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quantora::reliability {

class WorkerProcess {
  public:
    // Starts the worker program with `args` (without the program name).
    explicit WorkerProcess(const std::vector<std::string>& args);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // The next line of output. False when the output has ended (eof() is then true) or when
    // `timeout` passes first.
    bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    bool eof() const { return eof_; }
    // Everything the worker still writes until its output ends; a worker still running after
    // `limit` is killed (and an error line added).
    std::vector<std::string> ReadRemainingLines(
        std::chrono::seconds limit = std::chrono::seconds(300));
    void Kill();
    // Waits for the worker to end; its wait status.
    int Wait();
    // "exit N" or "signal N".
    static std::string Describe(int status);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool eof_ = false, reaped_ = false;
    int status_ = 0;
    std::string buffer_;
};

}  // namespace quantora::reliability

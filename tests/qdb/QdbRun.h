// Running the qdb binary from a test: the exit code and what it printed.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/ScratchDir.h"

namespace quantora::test {

struct QdbResult {
    int code = -1;
    std::string out;  // standard output and error together
};

// A shell word of `s`.
inline std::string Quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs `qdb <args>` (args already quoted) with standard input from /dev/null; `shell` runs
// before it in the same shell (a ulimit, say).
inline QdbResult RunQdb(const std::string& args, const std::string& shell = {}) {
    QdbResult r;
    const std::string cmd = (shell.empty() ? "" : shell + "; ") + std::string(QDB_BINARY) + " " +
                            args + " </dev/null 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// A run of qdb and what it must give: the exit code and texts of what it prints.
struct QdbCase {
    std::string args;
    int code;
    std::vector<std::string> says;
};

// Runs `qdb <args>` and expects the exit code and every text of `says` in what it printed.
inline QdbResult ExpectQdb(const std::string& args, int code,
                           const std::vector<std::string>& says = {}) {
    QdbResult r = RunQdb(args);
    EXPECT_EQ(r.code, code) << args << "\n" << r.out;
    for (const std::string& s : says)
        EXPECT_NE(r.out.find(s), std::string::npos) << args << ": no '" << s << "' in\n" << r.out;
    return r;
}

}  // namespace quantora::test

// Hostile spectrum files against the readers' bounds: every shared spectrum file cut short, with
// bytes flipped, and grown to tens of megabytes, plus files made to hurt (an N42 of 8,000
// spectra, an N42 of zero runs, a 64 MB token, a 64 MB SPE). Each is read by `qdb spectrum info`
// in a process of its own, whose time and peak memory are measured; the figures are held
// against the goals: at most 256 MB and 2 s per file, and every message one line.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

struct Outcome {
    double seconds = 0;
    double cpuSeconds =
        0;  // user and system: what the reader costs on a machine shared with others
    double peakMb = 0;
    bool signalled = false;  // crashed or killed
    size_t longestLine = 0;
};

// Runs `qdb spectrum info <file>` and measures it.
Outcome Run(const std::string& file) {
    Outcome o;
    int out[2];
    if (pipe(out) != 0) return o;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string qdb = QDB_BINARY, info = "info", spectrum = "spectrum";
    std::string path = file;
    char* argv[] = {qdb.data(), spectrum.data(), info.data(), path.data(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    const int spawned = posix_spawn(&pid, qdb.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buf[65536];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    if (spawned != 0) return o;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    auto secondsOf = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    o.cpuSeconds = secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    o.signalled = WIFSIGNALED(status);
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1)
        o.longestLine = std::max(o.longestLine, nl - from);
    return o;
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// The hostile files, by kind, written below `dir`.
std::map<std::string, std::vector<fs::path>> MakeFiles(const fs::path& dir) {
    std::map<std::string, std::vector<fs::path>> kinds;
    std::mt19937 random(20261207);
    const fs::path shared = fs::path(QUANTORA_SHARED_DATA) / "spectra" / "original";
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(shared)) {
        if (!e.is_regular_file() || e.file_size() > (64u << 20)) continue;
        const std::string bytes = ReadAll(e.path());
        const std::string name = std::to_string(n++) + "-" + e.path().filename().string();
        const fs::path cut = dir / ("cut-" + name), flipped = dir / ("flip-" + name),
                       grown = dir / ("grown-" + name);
        Write(cut, bytes.substr(0, bytes.size() / 2));
        std::string f = bytes;
        for (size_t i = 0; i < f.size() / 100 + 1; ++i) f[random() % f.size()] ^= 0x5a;
        Write(flipped, f);
        {
            // Written piece by piece: this process stays small, so the peak memory a child
            // reports (a spawned child starts with its parent's) is the reader's own.
            std::ofstream out(grown, std::ios::binary);
            for (size_t size = 0; size < (24u << 20); size += bytes.size()) out << bytes;
        }
        kinds["cut short"].push_back(cut);
        kinds["bytes flipped"].push_back(flipped);
        kinds["grown to 24 MB"].push_back(grown);
    }
    std::string many = "<?xml version=\"1.0\"?>\n<RadInstrumentData>\n";
    for (int i = 0; i < 8000; ++i)
        many +=
            "<RadMeasurement><Spectrum><ChannelData>1 2 3 4 5 6 7 8</ChannelData></Spectrum>"
            "</RadMeasurement>\n";
    many += "</RadInstrumentData>\n";
    Write(dir / "many.n42", many);
    std::string zeros = "<?xml version=\"1.0\"?>\n<RadInstrumentData>\n";
    for (int i = 0; i < 200; ++i) {
        zeros += "<RadMeasurement><Spectrum><ChannelData compressionCode=\"CountedZeroes\">";
        for (int k = 0; k < 8; ++k) zeros += "0 1000000 ";
        zeros += "</ChannelData></Spectrum></RadMeasurement>\n";
    }
    zeros += "</RadInstrumentData>\n";
    Write(dir / "zeros.n42", zeros);
    {
        std::ofstream token(dir / "token.spe", std::ios::binary);
        token << "$DATA:\n0 3\n1 2 ";
        const std::string sevens(1 << 20, '7');
        for (int i = 0; i < 64; ++i) token << sevens;
        token << "x 4\n";
        std::ofstream big(dir / "big.spe", std::ios::binary);
        big << "$DATA:\n0 16383\n";
        std::string line;
        for (int i = 0; i < 100000; ++i) line += "123456789 ";
        for (size_t size = 0; size < (64u << 20); size += line.size()) big << line;
        big << "\n";
    }
    for (const char* f : {"many.n42", "zeros.n42", "token.spe", "big.spe"})
        kinds["made to hurt"].push_back(dir / f);
    return kinds;
}

void BM_HostileFiles(benchmark::State& state) {
    const fs::path dir =
        fs::temp_directory_path() / ("quantora-hostile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto kinds = MakeFiles(dir);
    for (auto _ : state) {
        std::printf("\n%-16s %6s %12s %12s %12s %10s %12s\n", "files", "n", "max s", "max cpu s",
                    "max MB", "crashed", "longest line");
        double worstS = 0, worstCpu = 0, worstMb = 0;
        size_t crashed = 0, longest = 0;
        for (const auto& [kind, files] : kinds) {
            double s = 0, cpu = 0, mb = 0;
            size_t c = 0, line = 0;
            std::string slowest;
            for (const fs::path& f : files) {
                const Outcome o = Run(f.string());
                if (o.seconds > s) s = o.seconds, slowest = f.filename().string();
                mb = std::max(mb, o.peakMb);
                cpu = std::max(cpu, o.cpuSeconds);
                c += o.signalled ? 1 : 0;
                line = std::max(line, o.longestLine);
            }
            std::printf("%-16s %6zu %12.2f %12.2f %12.1f %10zu %12zu  (slowest: %s)\n",
                        kind.c_str(), files.size(), s, cpu, mb, c, line, slowest.c_str());
            worstS = std::max(worstS, s), worstCpu = std::max(worstCpu, cpu);
            worstMb = std::max(worstMb, mb);
            crashed += c, longest = std::max(longest, line);
        }
        std::printf("goals: at most 2 s (%s; CPU time %s), 256 MB (%s), no crash (%s) per file\n",
                    worstS <= 2 ? "met" : "MISSED", worstCpu <= 2 ? "met" : "MISSED",
                    worstMb <= 256 ? "met" : "MISSED", crashed == 0 ? "met" : "MISSED");
        state.counters["max_s"] = worstS;
        state.counters["max_cpu_s"] = worstCpu;
        state.counters["max_MB"] = worstMb;
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_HostileFiles)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();

// Parsing command-line numbers, lists and options; printing a peak evaluation's notes.
#include "tools/qdb/LabSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "quantora/base/Failures.h"

namespace qdbtool {

int ParseKey(const std::string& text, const char* what) {
    int v = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v <= 0)
        throw quantora::MisuseError(std::string("malformed ") + what + " '" + text +
                                    "' (a positive whole number)");
    return v;
}

std::vector<int> ParseKeyList(const std::string& text, const char* what) {
    std::vector<int> ids;
    for (const std::string& part : SplitCommas(text)) ids.push_back(ParseKey(part, what));
    return ids;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    for (size_t pos = 0;;) {
        const size_t comma = text.find(',', pos);
        parts.push_back(text.substr(pos, comma - pos));
        if (comma == std::string::npos) return parts;
        pos = comma + 1;
    }
}

bool ParseNumber(const std::string& text, double& out) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return b != e && r.ec == std::errc() && r.ptr == e && std::isfinite(out);
}

std::string TakeOption(std::vector<std::string>& args, const char* name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return {};
    if (it + 1 == args.end())
        throw quantora::MisuseError(std::string("option ") + name + " needs a value");
    std::string v = *(it + 1);
    args.erase(it, it + 2);
    if (v.empty()) throw quantora::MisuseError(std::string("option ") + name + " needs a value");
    return v;
}

bool TakeFlag(std::vector<std::string>& args, const char* name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end()) return false;
    args.erase(it);
    return true;
}

int TakeKey(std::vector<std::string>& args, const char* name, const char* what) {
    const std::string text = TakeOption(args, name);
    return text.empty() ? -1 : ParseKey(text, what);
}

std::vector<int> TakeKeyList(std::vector<std::string>& args, const char* name, const char* what) {
    const std::string text = TakeOption(args, name);
    return text.empty() ? std::vector<int>() : ParseKeyList(text, what);
}

void PrintNotes(const quantora::PeakEvalRun& run) {
    for (const std::string& n : run.result.notes) std::printf("note: %s\n", n.c_str());
    for (const std::string& n : run.recalibration.notes) std::printf("note: %s\n", n.c_str());
}

std::vector<std::string> Rest(const std::vector<std::string>& args) {
    return args.empty() ? args : std::vector<std::string>(args.begin() + 1, args.end());
}

}  // namespace qdbtool

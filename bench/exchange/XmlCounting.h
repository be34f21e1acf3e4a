// The two readers of the reading benchmark: our XML reader and expat, each parsing a whole file
// and counting its elements and attributes, so that both do the same work and can be checked
// against each other.
#pragma once

#include <string>

namespace quantora::bench {

struct XmlCounts {
    long long elements = 0;
    long long attributes = 0;
};

// Throw std::runtime_error with the reader's message when the file cannot be read or is not
// well formed.
XmlCounts CountWithXmlReader(const std::string& path);
XmlCounts CountWithExpat(const std::string& path);

}  // namespace quantora::bench

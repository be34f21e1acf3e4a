// Fuzz target: the text readers (SPE, N42, count lists, CSV) through format detection; the
// first byte picks how a count list is read.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/FuzzSpectrumFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    quantora::SpectrumReadOptions options;
    options.ascLayout = static_cast<quantora::AscLayout>(data[0] % 3);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    return quantora::fuzz::FuzzSpectrumReader([&](quantora::SpectrumFile& f) {
        f = quantora::ReadSpectrumBytes(bytes, "fuzz", options);
    });
}

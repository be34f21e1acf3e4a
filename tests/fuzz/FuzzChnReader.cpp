// Fuzz target: the CHN reader on any bytes (detection bypassed, so every input reaches it).
#include <cstddef>
#include <cstdint>

#include "quantora/spectrumfiles/Formats.h"
#include "tests/fuzz/FuzzSpectrumFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    return quantora::fuzz::FuzzSpectrumReader([&](quantora::SpectrumFile& f) {
        const quantora::spectrumfiles::ReadContext ctx("fuzz", "CHN", &f.warnings);
        quantora::spectrumfiles::ReadChn(bytes, ctx, f);
    });
}

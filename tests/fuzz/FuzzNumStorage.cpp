// Fuzz target: the stored forms of NumVector<double> and NumMatrix<double>. The first bytes pick
// the dimensions, the rest is the stored string; a load either throws or gives exactly the
// decoded elements, which must encode back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "quantora/base/Exception.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"

namespace {

int32_t TakeInt(const uint8_t*& data, size_t& size) {
    uint32_t v = 0;
    const size_t n = size < 4 ? size : 4;
    std::memcpy(&v, data, n);
    data += n;
    size -= n;
    return static_cast<int32_t>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int32_t dim = TakeInt(data, size);
    const int32_t rows = TakeInt(data, size);
    const int32_t cols = TakeInt(data, size);
    const AnsiString s(reinterpret_cast<const char*>(data), size);

    NumVector<double> v(3);
    try {
        v.LoadFromString(dim, s);
        if (!s.empty() && v.Dim() != dim) std::abort();
        AnsiString back;
        v.SaveToString(back);
        if (back != s) std::abort();
    } catch (const Exception&) {
        if (v.Dim() != 3) std::abort();  // a failed load leaves the vector as it was
    }

    NumMatrix<double> m(2, 2);
    try {
        m.LoadFromString(rows, cols, s);
        if (!s.empty() && (m.Rows() != rows || m.Cols() != cols)) std::abort();
        AnsiString back;
        m.SaveToString(back);
        if (back != s) std::abort();
    } catch (const Exception&) {
        if (m.Rows() != 2 || m.Cols() != 2) std::abort();
    }
    return 0;
}

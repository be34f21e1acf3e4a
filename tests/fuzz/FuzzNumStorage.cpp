// Fuzz target: the stored forms of NumVector<double> and NumMatrix<double>. The first bytes pick
// the dimensions (4 bytes each), the rest is the stored string; a load either throws, leaving the
// object as it was, or gives exactly the decoded elements, which must encode back to the same
// bytes.

#include "quantora/base/Exception.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quantora::fuzz::ByteReader in(data, size);
    const auto dim = static_cast<int32_t>(in.Int(4));
    const auto rows = static_cast<int32_t>(in.Int(4));
    const auto cols = static_cast<int32_t>(in.Int(4));
    const AnsiString s = in.Bytes();
    AnsiString back;

    NumVector<double> v(3);
    try {
        v.LoadFromString(dim, s);
        if (!s.empty() && v.Dim() != dim) std::abort();
        v.SaveToString(back);
        if (back != s) std::abort();
    } catch (const Exception&) {
        if (v.Dim() != 3) std::abort();
    }
    NumMatrix<double> m(2, 2);
    try {
        m.LoadFromString(rows, cols, s);
        if (!s.empty() && (m.Rows() != rows || m.Cols() != cols)) std::abort();
        m.SaveToString(back);
        if (back != s) std::abort();
    } catch (const Exception&) {
        if (m.Rows() != 2 || m.Cols() != 2) std::abort();
    }
    return 0;
}

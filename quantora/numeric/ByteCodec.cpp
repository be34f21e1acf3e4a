// Little-endian binary64 codec and the error messages of the numeric vector and matrix types.
#include "quantora/numeric/ByteCodec.h"

#include <bit>
#include <cstring>
#include <limits>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"

namespace quantora {

namespace {

constexpr bool kHostIsLittle = std::endian::native == std::endian::little;
static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
              "the stored form needs IEEE 754 binary64 doubles");

// Decimal text of a 128-bit product, so length messages stay exact for any dimensions.
AnsiString ToDecimal(__int128 v) {
    if (v == 0) return "0";
    bool negative = v < 0;
    unsigned __int128 u = negative ? -static_cast<unsigned __int128>(v) : v;
    char buf[48];
    int pos = sizeof buf;
    while (u != 0) {
        buf[--pos] = static_cast<char>('0' + static_cast<int>(u % 10));
        u /= 10;
    }
    if (negative) buf[--pos] = '-';
    return AnsiString(buf + pos, sizeof buf - pos);
}

}  // namespace

void StoreDoubleLE(double v, char* out) {
    uint64_t bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((bits >> (8 * i)) & 0xFFu);
}

double LoadDoubleLE(const char* in) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<uint64_t>(static_cast<unsigned char>(in[i])) << (8 * i);
    return std::bit_cast<double>(bits);
}

void EncodeDoublesLE(const double* values, size_t n, AnsiString& out) {
    out.clear();
    if (n == 0) return;
    out.assign(8 * n, '\0');
    if constexpr (kHostIsLittle) {
        std::memcpy(out.data(), values, 8 * n);
    } else {
        for (size_t i = 0; i < n; ++i) StoreDoubleLE(values[i], out.data() + 8 * i);
    }
}

void DecodeDoublesLE(const char* in, size_t n, double* values) {
    if (n == 0) return;
    if constexpr (kHostIsLittle) {
        std::memcpy(values, in, 8 * n);
    } else {
        for (size_t i = 0; i < n; ++i) values[i] = LoadDoubleLE(in + 8 * i);
    }
}

void ThrowVectorSize(int64_t n) {
    throw Exception("Error resizing numeric vector: illegal size (" + ToDecimal(n) + ")");
}

void ThrowMatrixSize(int64_t rows, int64_t cols) {
    throw Exception("Error resizing numeric matrix: illegal dimension (" + ToDecimal(rows) + "," +
                    ToDecimal(cols) + ")");
}

void ThrowVectorCorrupted(int dim, size_t found) {
    throw Exception("NumVector::LoadFromString: corrupted data (dim=" + ToDecimal(dim) +
                    ", expected len: " + ToDecimal(static_cast<__int128>(dim) * 8) +
                    ", found: " + ToDecimal(static_cast<__int128>(found)) + ")");
}

void ThrowMatrixCorrupted(int rows, int cols, size_t found) {
    throw Exception("NumMatrix::LoadFromString: corrupted data (rowdim=" + ToDecimal(rows) +
                    ", coldim=" + ToDecimal(cols) +
                    ", expected len: " + ToDecimal(static_cast<__int128>(rows) * cols * 8) +
                    ", found: " + ToDecimal(static_cast<__int128>(found)) + ")");
}

void ThrowIndex(const char* type, int64_t index, int64_t size) {
    throw Exception(Format("%s: index %lld out of range (size %lld)", type,
                           static_cast<long long>(index), static_cast<long long>(size)));
}

}  // namespace quantora

// Little-endian IEEE 754 binary64 byte form of double arrays, independent of the host's byte
// order; the stored form of numeric vectors and matrices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "quantora/base/Types.h"

namespace quantora {

// Writes the 8 little-endian bytes of v to out[0..7].
void StoreDoubleLE(double v, char* out);
// Reads a double from the 8 little-endian bytes at in[0..7]; every bit is kept (NaN payloads,
// negative zero).
double LoadDoubleLE(const char* in);

// Replaces `out` with 8 * n bytes: the elements in order, each little-endian.
void EncodeDoublesLE(const double* values, size_t n, AnsiString& out);
// Decodes 8 * n bytes at `in` into values[0..n-1]; the caller guarantees both sizes.
void DecodeDoublesLE(const char* in, size_t n, double* values);

// Throwing helpers shared by the vector and matrix types; they keep the message texts in one place.
[[noreturn]] void ThrowVectorSize(int64_t n);
[[noreturn]] void ThrowMatrixSize(int64_t rows, int64_t cols);
[[noreturn]] void ThrowVectorCorrupted(int dim, size_t found);
[[noreturn]] void ThrowMatrixCorrupted(int rows, int cols, size_t found);
[[noreturn]] void ThrowIndex(const char* type, int64_t index, int64_t size);

}  // namespace quantora

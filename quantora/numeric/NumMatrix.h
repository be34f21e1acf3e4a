// Numeric matrix: a row count, a column count and one contiguous row-major element store
// (element (i, j) at i * cols + j, so row i starts at i * cols). Matrices of doubles have a
// stored form: the raw little-endian binary64 bytes of the elements, row after row, 8 per
// element, with no header (the reader is told the dimensions); an empty matrix is the empty
// string.
#pragma once

#include <type_traits>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/numeric/ByteCodec.h"

template <class T>
class NumMatrix {
  public:
    NumMatrix() = default;
    NumMatrix(int rows, int cols) { Resize(rows, cols); }

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    bool Empty() const { return data_.empty(); }
    bool IsSquare(int n) const { return rows_ == n && cols_ == n; }

    // Sets both counts. Existing elements are kept in store order, new ones are zero. 0 x 0 is
    // allowed; a negative count, or exactly one count of zero, throws.
    void Resize(int rows, int cols) {
        if (rows < 0 || cols < 0 || ((rows == 0) != (cols == 0)))
            quantora::ThrowMatrixSize(rows, cols);
        data_.resize(static_cast<size_t>(rows) * static_cast<size_t>(cols));
        rows_ = rows;
        cols_ = cols;
    }

    // Unchecked access for inner loops: m(i, j), or m[i][j] through the row start.
    T& operator()(int i, int j) { return data_[Offset(i, j)]; }
    const T& operator()(int i, int j) const { return data_[Offset(i, j)]; }
    T* operator[](int i) { return data_.data() + Offset(i, 0); }
    const T* operator[](int i) const { return data_.data() + Offset(i, 0); }
    // Checked access.
    T& At(int i, int j) {
        Check(i, j);
        return data_[Offset(i, j)];
    }
    const T& At(int i, int j) const {
        Check(i, j);
        return data_[Offset(i, j)];
    }

    T* Data() { return data_.data(); }
    const T* Data() const { return data_.data(); }

    bool operator==(const NumMatrix&) const = default;

    // Decodes the stored form as a rows x cols matrix. An empty string gives a 0 x 0 matrix
    // whatever the dimensions say; a string whose length is not 8 * rows * cols throws and leaves
    // the matrix unchanged.
    void LoadFromString(int rows, int cols,
                        const AnsiString& s) requires std::is_same_v<T, double> {
        if (s.empty()) {
            Resize(0, 0);
            return;
        }
        const __int128 expected = static_cast<__int128>(rows) * cols * 8;
        if (rows < 0 || cols < 0 || expected != static_cast<__int128>(s.size()))
            quantora::ThrowMatrixCorrupted(rows, cols, s.size());
        Resize(rows, cols);
        quantora::DecodeDoublesLE(s.data(), data_.size(), data_.data());
    }

    // Encodes into the stored form; `s` is replaced.
    void SaveToString(AnsiString& s) const requires std::is_same_v<T, double> {
        quantora::EncodeDoublesLE(data_.data(), data_.size(), s);
    }
    static void SaveToString(const NumMatrix& m, AnsiString& s) requires std::is_same_v<T, double> {
        m.SaveToString(s);
    }

  private:
    size_t Offset(int i, int j) const {
        return static_cast<size_t>(i) * static_cast<size_t>(cols_) + static_cast<size_t>(j);
    }
    void Check(int i, int j) const {
        if (i < 0 || i >= rows_) quantora::ThrowIndex("NumMatrix row", i, rows_);
        if (j < 0 || j >= cols_) quantora::ThrowIndex("NumMatrix column", j, cols_);
    }

    int rows_ = 0;
    int cols_ = 0;
    std::vector<T> data_;
};

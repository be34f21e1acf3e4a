// Numeric vector: a dimension and a contiguous array of that many elements. Vectors of doubles
// have a stored form: the raw little-endian binary64 bytes of the elements, 8 per element, with no
// header (the reader is told the dimension); an empty vector is the empty string.
#pragma once

#include <type_traits>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/numeric/ByteCodec.h"

template <class T>
class NumVector {
  public:
    NumVector() = default;
    explicit NumVector(int n) { Resize(n); }

    int Dim() const { return static_cast<int>(data_.size()); }
    bool Empty() const { return data_.empty(); }

    // Sets the dimension; existing elements keep their values, new ones are zero.
    void Resize(int n) {
        if (n < 0) quantora::ThrowVectorSize(n);
        data_.resize(static_cast<size_t>(n));
    }

    // Unchecked element access for inner loops; At() checks the index.
    T& operator[](int i) { return data_[static_cast<size_t>(i)]; }
    const T& operator[](int i) const { return data_[static_cast<size_t>(i)]; }
    T& At(int i) {
        Check(i);
        return data_[static_cast<size_t>(i)];
    }
    const T& At(int i) const {
        Check(i);
        return data_[static_cast<size_t>(i)];
    }

    T* Data() { return data_.data(); }
    const T* Data() const { return data_.data(); }
    auto begin() { return data_.begin(); }
    auto end() { return data_.end(); }
    auto begin() const { return data_.begin(); }
    auto end() const { return data_.end(); }

    bool operator==(const NumVector&) const = default;

    // Decodes the stored form as a vector of `dim` elements. An empty string gives an empty
    // vector whatever `dim` says; a string whose length is not 8 * dim throws and leaves the
    // vector unchanged.
    void LoadFromString(int dim, const AnsiString& s) requires std::is_same_v<T, double> {
        if (s.empty()) {
            Resize(0);
            return;
        }
        if (dim < 0 || s.size() != static_cast<size_t>(dim) * 8)
            quantora::ThrowVectorCorrupted(dim, s.size());
        Resize(dim);
        quantora::DecodeDoublesLE(s.data(), data_.size(), data_.data());
    }

    // Encodes into the stored form; `s` is replaced.
    void SaveToString(AnsiString& s) const requires std::is_same_v<T, double> {
        quantora::EncodeDoublesLE(data_.data(), data_.size(), s);
    }
    static void SaveToString(const NumVector& v, AnsiString& s) requires std::is_same_v<T, double> {
        v.SaveToString(s);
    }

  private:
    void Check(int i) const {
        if (i < 0 || static_cast<size_t>(i) >= data_.size())
            quantora::ThrowIndex("NumVector", i, static_cast<int64_t>(data_.size()));
    }

    std::vector<T> data_;
};

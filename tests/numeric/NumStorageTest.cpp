// Numeric vectors and matrices: resizing and the little-endian byte-string form, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <tuple>
#include <utility>

#include "quantora/base/Exception.h"
#include "quantora/numeric/ByteCodec.h"
#include "quantora/numeric/NumMatrix.h"
#include "quantora/numeric/NumVector.h"
#include "tests/support/Raised.h"

namespace {

uint64_t Bits(double d) {
    return std::bit_cast<uint64_t>(d);
}

AnsiString MessageOf(auto&& action) {
    return quantora::test::Raised(action).Message;
}

}  // namespace

TEST(NumVector, StoredFormIsLittleEndianBinary64WithEveryBitKept) {
    NumVector<double> v(3);
    v[0] = 1.0;
    v[1] = -0.0;
    v[2] = std::bit_cast<double>(uint64_t{0x7FF00000DEADBEEF});  // signalling NaN with a payload
    AnsiString s;
    v.SaveToString(s);
    // Least significant byte first, zero bytes kept.
    EXPECT_EQ(s, AnsiString("\0\0\0\0\0\0\xF0\x3F"
                            "\0\0\0\0\0\0\0\x80"
                            "\xEF\xBE\xAD\xDE\0\0\xF0\x7F",
                            24));
    NumVector<double> back;
    back.LoadFromString(3, s);
    ASSERT_EQ(back.Dim(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Bits(back[i]), Bits(v[i])) << i;
    // The per-value codec (the byte-order independent path) writes the same bytes and reads each
    // value back from its own eight alone: not its neighbour's, nor past the end of the buffer.
    const auto packed = std::make_unique<char[]>(24);
    for (int i = 0; i < 3; ++i) quantora::StoreDoubleLE(v[i], packed.get() + 8 * i);
    EXPECT_EQ(AnsiString(packed.get(), 24), s);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Bits(quantora::LoadDoubleLE(packed.get() + 8 * i)), Bits(v[i])) << i;
}

TEST(NumVector, EmptyCorruptAndResize) {
    AnsiString s = "junk";
    NumVector<double>().SaveToString(s);
    EXPECT_EQ(s, "");
    NumVector<double> v(4);
    v.LoadFromString(5, "");  // an empty column never fails; the caller checks the size
    EXPECT_EQ(v.Dim(), 0);
    v.Resize(2);
    v[0] = 7.5;
    v.Resize(3);  // existing elements kept, new ones zero
    EXPECT_EQ(v[0], 7.5);
    EXPECT_EQ(Bits(v[2]), 0u);
    const NumVector<double> before = v;
    const std::pair<int, const char*> corrupt[] = {
        // a byte length beyond 32 bits is kept whole
        {-1, "dim=-1, expected len: -8, found: 8"},
        {0x7FFFFFFF, "dim=2147483647, expected len: 17179869176, found: 8"}};
    for (auto [dim, text] : corrupt)
        EXPECT_EQ(MessageOf([&] { v.LoadFromString(dim, AnsiString(8, 'x')); }),
                  AnsiString("NumVector::LoadFromString: corrupted data (") + text + ")");
    EXPECT_EQ(MessageOf([&] { v.Resize(-1); }), "Error resizing numeric vector: illegal size (-1)");
    EXPECT_EQ(v, before);
    EXPECT_THROW(v.At(3), Exception);
}

TEST(NumMatrix, RowMajorStoredFormResizeAndCorruptData) {
    NumMatrix<double> m(2, 2);
    m(0, 0) = 1.0;
    m(0, 1) = 2.0;
    m[1][0] = 3.0;
    m[1][1] = -0.0;
    AnsiString s;
    NumMatrix<double>::SaveToString(m, s);
    NumMatrix<double> back;
    back.LoadFromString(1, 4, s);  // the same bytes as another shape, row after row
    ASSERT_TRUE(back.Rows() == 1 && back.Cols() == 4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Bits(back(0, k)), Bits(m(k / 2, k % 2))) << k;
    m.Resize(1, 3);  // store order kept: the old (1,0) becomes (0,2)
    EXPECT_EQ(m(0, 2), 3);
    m.LoadFromString(5, 5, AnsiString(200, '\0'));
    // Negative dimensions never match, even when their product would.
    const std::tuple<int, int, const char*> corrupt[] = {
        {-1, -1, "rowdim=-1, coldim=-1, expected len: 8, found: 8"},
        {2147483647, 2147483647,
         "rowdim=2147483647, coldim=2147483647, expected len: 36893488113059364872, found: 8"}};
    for (auto [r, c, text] : corrupt)
        EXPECT_EQ(MessageOf([&] { m.LoadFromString(r, c, AnsiString(8, '\0')); }),
                  AnsiString("NumMatrix::LoadFromString: corrupted data (") + text + ")");
    EXPECT_EQ(MessageOf([&] { m.Resize(2, 0); }),
              "Error resizing numeric matrix: illegal dimension (2,0)");
    EXPECT_TRUE(m.IsSquare(5));  // every failure left the matrix as it was
    m.Resize(0, 0);
    EXPECT_THROW(m.At(0, 0), Exception);
}

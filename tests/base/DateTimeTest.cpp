// Calendar conversions of TDateTime and its ISO text form.
#include <gtest/gtest.h>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"

using namespace quantora;

TEST(DateTime, KnownDaysAndIsoRoundTrip) {
    EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
    EXPECT_EQ(DaysFromCivil(1900, 1, 1), 2);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 36586);
    EXPECT_EQ(FormatIsoDateTime(-1.0), "1899-12-29 00:00:00.000000");
    EXPECT_EQ(FormatIsoDateTime(36586.75), "2000-03-01 18:00:00.000000");
    // Less than half a microsecond before midnight rounds to the next day's start.
    EXPECT_EQ(FormatIsoDateTime(2.0 - 1e-12), "1900-01-01 00:00:00.000000");

    // Every microsecond-resolution value survives text and back.
    for (double dt : {0.0, -1.0, 45000.123456789, 12345.999999, 73050.5, -700.25}) {
        TDateTime back = 0;
        ASSERT_TRUE(ParseIsoDateTime(FormatIsoDateTime(dt), back));
        EXPECT_NEAR(back, dt, 0.6e-6 / 86400.0 + 1e-9) << dt;
        EXPECT_EQ(FormatIsoDateTime(back), FormatIsoDateTime(dt));
    }
    // Day numbers no calendar holds decode to the zero time instead of overflowing.
    EXPECT_EQ(DecodeDateTime(1e300).year, CivilTime{}.year);
}

TEST(DateTime, ParseAcceptsShortFormsAndRejectsGarbage) {
    TDateTime v = 0;
    ASSERT_TRUE(ParseIsoDateTime("2024-02-29", v));
    EXPECT_EQ(FormatIsoDateTime(v), "2024-02-29 00:00:00.000000");
    ASSERT_TRUE(ParseIsoDateTime("2024-02-29T13:45", v));
    EXPECT_EQ(FormatIsoDateTime(v), "2024-02-29 13:45:00.000000");
    ASSERT_TRUE(ParseIsoDateTime("2024-02-29 13:45:07.5", v));
    EXPECT_EQ(FormatIsoDateTime(v), "2024-02-29 13:45:07.500000");
    const int lastDay[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};  // of 2023
    for (int m = 1; m <= 12; ++m) {
        EXPECT_TRUE(ParseIsoDateTime(Format("2023-%02d-%02d", m, lastDay[m - 1]), v)) << m;
        EXPECT_FALSE(ParseIsoDateTime(Format("2023-%02d-%02d", m, lastDay[m - 1] + 1), v)) << m;
    }
    for (const char* bad : {"", "2023-02-29", "2024-13-01", "2024-01-01 25:00", "2024-01-01x",
                            "2024-01-01x10:00", "2024-01-01 10:00:00.1234567", "abcd-ef-gh"})
        EXPECT_FALSE(ParseIsoDateTime(bad, v)) << bad;
}

TEST(Format, GrowsBeyondTheSmallBuffer) {
    AnsiString long_text(1000, 'x');
    EXPECT_EQ(Format("%s=%d", long_text.c_str(), 7), long_text + "=7");
    EXPECT_EQ(Format("%s ID=%d of '%s'", "SPECTRUM", 12, "MEASUREMENT"),
              "SPECTRUM ID=12 of 'MEASUREMENT'");
}

// Calendar conversions of TDateTime and its ISO text form.
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"

using namespace quantora;

TEST(DateTime, KnownDaysAndIsoRoundTrip) {
    EXPECT_EQ(DaysFromCivil(1899, 12, 30), 0);
    EXPECT_EQ(DaysFromCivil(1900, 1, 1), 2);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 36586);
    EXPECT_EQ(FormatIsoDateTime(-1.0), "1899-12-29 00:00:00.000000");
    EXPECT_EQ(FormatIsoDateTime(36586.75), "2000-03-01 18:00:00.000000");

    // Every microsecond-resolution value survives text and back.
    for (double dt : {0.0, -1.0, 45000.123456789, 12345.999999, 73050.5, -700.25}) {
        TDateTime back = 0;
        ASSERT_TRUE(ParseIsoDateTime(FormatIsoDateTime(dt), back));
        EXPECT_NEAR(back, dt, 0.6e-6 / 86400.0 + 1e-9) << dt;
        EXPECT_EQ(FormatIsoDateTime(back), FormatIsoDateTime(dt));
    }
}

TEST(DateTime, EveryMicrosecondDecodesBackExactly) {
    // Random times from 1750 to 2075 (a double holds the microsecond from 1720 to 2079), and the
    // microseconds next to midnight and to 2000-01-01.
    std::mt19937_64 rng(42);
    std::uniform_int_distribution<int64_t> day(DaysFromCivil(1750, 1, 1),
                                               DaysFromCivil(2075, 1, 1));
    constexpr int64_t kMicrosPerDay = int64_t{86400} * 1000000;
    std::uniform_int_distribution<int64_t> micro(0, kMicrosPerDay - 1);
    std::vector<std::pair<int64_t, int64_t>> cases;
    for (int i = 0; i < 200000; ++i) cases.emplace_back(day(rng), micro(rng));
    for (int64_t us : {int64_t{0}, int64_t{1}, int64_t{999999}, kMicrosPerDay - 1})
        for (int64_t d : {DaysFromCivil(2000, 1, 1), int64_t{-1}, int64_t{0}})
            cases.emplace_back(d, us);
    for (auto [d, us] : cases) {
        CivilTime t = DecodeDateTime(static_cast<double>(d));
        t.hour = static_cast<int>(us / 3600000000);
        t.minute = static_cast<int>(us / 60000000 % 60);
        t.second = static_cast<int>(us / 1000000 % 60);
        t.microsecond = static_cast<int>(us % 1000000);
        const CivilTime back = DecodeDateTime(EncodeDateTime(t));
        ASSERT_TRUE(back.year == t.year && back.month == t.month && back.day == t.day &&
                    back.hour == t.hour && back.minute == t.minute && back.second == t.second &&
                    back.microsecond == t.microsecond)
            << d << " days + " << us << " us came back as "
            << FormatIsoDateTime(EncodeDateTime(back));
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
                            "2024-01-01 10:00:00.1234567", "abcd-ef-gh"})
        EXPECT_FALSE(ParseIsoDateTime(bad, v)) << bad;
}

TEST(Format, GrowsBeyondTheSmallBuffer) {
    AnsiString long_text(1000, 'x');
    EXPECT_EQ(Format("%s=%d", long_text.c_str(), 7), long_text + "=7");
    EXPECT_EQ(Format("%s ID=%d of '%s'", "SPECTRUM", 12, "MEASUREMENT"),
              "SPECTRUM ID=12 of 'MEASUREMENT'");
}

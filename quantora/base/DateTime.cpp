// Calendar arithmetic for TDateTime after the civil-from-days algorithms of the proleptic
// Gregorian calendar.
#include "quantora/base/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace quantora {
namespace {

constexpr int64_t kMicrosPerDay = 86400LL * 1000000LL;
// Far beyond any calendar date a database holds; larger day numbers decode to the zero time.
constexpr double kLargestDayNumber = 1e9;

int64_t DaysFromEpoch1970(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromEpoch1970(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const int64_t kEpochOffset = DaysFromEpoch1970(1899, 12, 30);

bool Digits(std::string_view s, size_t pos, size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

int64_t DaysFromCivil(int year, int month, int day) {
    return DaysFromEpoch1970(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
           kEpochOffset;
}

TDateTime EncodeDateTime(const CivilTime& t) {
    int64_t micros = (static_cast<int64_t>(t.hour) * 3600 + t.minute * 60 + t.second) * 1000000LL +
                     t.microsecond;
    return static_cast<double>(DaysFromCivil(t.year, t.month, t.day)) +
           static_cast<double>(micros) / static_cast<double>(kMicrosPerDay);
}

CivilTime DecodeDateTime(TDateTime dt) {
    CivilTime t;
    if (!std::isfinite(dt) || std::fabs(dt) > kLargestDayNumber) return t;
    // Day and fraction apart: the fraction is exact and scales to microseconds without the
    // rounding error a product of the whole day number with 8.64e10 would add.
    const double whole = std::floor(dt);
    int64_t days = static_cast<int64_t>(whole);
    int64_t micros = std::llround((dt - whole) * static_cast<double>(kMicrosPerDay));
    if (micros == kMicrosPerDay) {
        micros = 0;
        ++days;
    }
    CivilFromEpoch1970(days + kEpochOffset, t.year, t.month, t.day);
    t.microsecond = static_cast<int>(micros % 1000000);
    int64_t secs = micros / 1000000;
    t.second = static_cast<int>(secs % 60);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.hour = static_cast<int>(secs / 3600);
    return t;
}

TDateTime LocalNow() {
    using namespace std::chrono;
    const auto now = time_point_cast<microseconds>(system_clock::now());
    const auto since_epoch = now.time_since_epoch();
    std::time_t secs = static_cast<std::time_t>(duration_cast<seconds>(since_epoch).count());
    long micros = static_cast<long>((since_epoch - duration_cast<seconds>(since_epoch)).count());
    if (micros < 0) {  // clocks before 1970
        micros += 1000000;
        --secs;
    }
    std::tm tm{};
    localtime_r(&secs, &tm);
    CivilTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec > 59 ? 59 : tm.tm_sec;  // a leap second folds into :59
    t.microsecond = static_cast<int>(micros);
    return EncodeDateTime(t);
}

void FormatIsoDateTime(TDateTime dt, char (&out)[kIsoDateTimeLength + 1]) {
    CivilTime t = DecodeDateTime(dt);
    int year = t.year < 0 ? 0 : (t.year > 9999 ? 9999 : t.year);
    // Written digit by digit: this runs for every date bound on SQLite.
    auto put = [&out](size_t pos, int value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            out[pos + static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    out[4] = '-';
    put(5, t.month, 2);
    out[7] = '-';
    put(8, t.day, 2);
    out[10] = ' ';
    put(11, t.hour, 2);
    out[13] = ':';
    put(14, t.minute, 2);
    out[16] = ':';
    put(17, t.second, 2);
    out[19] = '.';
    put(20, t.microsecond, 6);
    out[kIsoDateTimeLength] = '\0';
}

AnsiString FormatIsoDateTime(TDateTime dt) {
    char buf[kIsoDateTimeLength + 1];
    FormatIsoDateTime(dt, buf);
    return AnsiString(buf, kIsoDateTimeLength);
}

bool ParseIsoDateTime(std::string_view s, TDateTime& out) {
    CivilTime t;
    if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
    if (!Digits(s, 0, 4, t.year) || !Digits(s, 5, 2, t.month) || !Digits(s, 8, 2, t.day))
        return false;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month))
        return false;
    size_t pos = 10;
    if (pos < s.size()) {
        if (s[pos] != ' ' && s[pos] != 'T') return false;
        if (!Digits(s, pos + 1, 2, t.hour) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
            !Digits(s, pos + 4, 2, t.minute))
            return false;
        pos += 6;
        if (pos < s.size()) {
            if (s[pos] != ':' || !Digits(s, pos + 1, 2, t.second)) return false;
            pos += 3;
            if (pos < s.size()) {
                if (s[pos] != '.') return false;
                size_t n = s.size() - pos - 1;
                if (n < 1 || n > 6 || !Digits(s, pos + 1, n, t.microsecond)) return false;
                for (size_t i = n; i < 6; ++i) t.microsecond *= 10;
            }
        }
        if (t.hour > 23 || t.minute > 59 || t.second > 59) return false;
    }
    out = EncodeDateTime(t);
    return true;
}

}  // namespace quantora

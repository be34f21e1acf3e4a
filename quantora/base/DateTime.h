// Conversions between TDateTime (days since 1899-12-30) and calendar dates and ISO text.
#pragma once

#include <cstdint>
#include <string_view>

#include "quantora/base/Types.h"

namespace quantora {

struct CivilTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, microsecond = 0;
};

// Days from 1899-12-30 to the given date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int year, int month, int day);

TDateTime EncodeDateTime(const CivilTime& t);
// Rounded to the nearest microsecond: exact for what EncodeDateTime gives from 1720 to 2079,
// where a double resolves 0.63 µs or better; 1.26 µs steps until 2258.
CivilTime DecodeDateTime(TDateTime dt);

// The host's local wall-clock time (its time zone and daylight saving), to the microsecond.
TDateTime LocalNow();

// Fixed-width "YYYY-MM-DD HH:MM:SS.ffffff" (26 characters), so text order is time order.
constexpr size_t kIsoDateTimeLength = 26;
void FormatIsoDateTime(TDateTime dt, char (&out)[kIsoDateTimeLength + 1]);
AnsiString FormatIsoDateTime(TDateTime dt);

// Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" with an optional fraction of up
// to six digits, and 'T' in place of the space. Returns false for anything else.
bool ParseIsoDateTime(std::string_view text, TDateTime& out);

}  // namespace quantora

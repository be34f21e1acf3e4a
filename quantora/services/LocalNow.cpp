// Local wall-clock time through localtime_r, so the time zone and daylight saving of the host
// apply.
#include "quantora/services/LocalNow.h"

#include <chrono>
#include <ctime>

#include "quantora/base/DateTime.h"

namespace quantora {

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

}  // namespace quantora

#include "wavefile/platform/local_time.h"

namespace {
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
long long days_from_civil(long long year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long of_era = year - era * 400;
    const long long of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    return era * 146097 + of_era * 365 + of_era / 4 - of_era / 100 + of_year - 719468;
}

long long seconds_as_utc(const std::tm& time) {
    return days_from_civil(time.tm_year + 1900LL, time.tm_mon + 1, time.tm_mday) * 86400 + time.tm_hour * 3600LL +
           time.tm_min * 60LL + time.tm_sec;
}

CalendarTime calendar(const std::tm& time, int offset_minutes) {
    return {time.tm_year + 1900, time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, offset_minutes};
}
}  // namespace

CalendarTime utc_time(std::time_t time) {
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &time);
#else
    gmtime_r(&time, &utc);
#endif
    return calendar(utc, 0);
}

CalendarTime local_time(std::time_t time) {
    std::tm local{}, utc{};
#ifdef _WIN32
    localtime_s(&local, &time);
    gmtime_s(&utc, &time);
#else
    localtime_r(&time, &local);
    gmtime_r(&time, &utc);
#endif
    // The offset, as the two calendars of one moment differ: no system's own name for it needed.
    return calendar(local, static_cast<int>((seconds_as_utc(local) - seconds_as_utc(utc)) / 60));
}

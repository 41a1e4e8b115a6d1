// Calendar time: the local time with its offset from UTC, and UTC itself.
#pragma once

#include <ctime>

struct CalendarTime {
    int year, month, day, hour, minute, second;
    int offset_minutes;  // east of UTC; 0 for UTC
};

CalendarTime local_time(std::time_t time);
CalendarTime utc_time(std::time_t time);

#pragma once
// Dates of mail headers. Date-times are day counts since 30 December 1899 with the time of
// day as fraction, in local time; 0 means "no date".

#include <string>
#include <string_view>

namespace pelmora {

// Current local offset from UTC, as a fraction of a day (positive east of UTC).
double LocalUtcOffset();

// The current local date-time.
double NowLocal();

// "Tue, 05 Mar 2024 14:07:09 +0100": date-time t with the zone in effect at t.
std::string FormatMailDate(double t);

// Reads a date header text into local time (the offset valid at that date); 0 for an invalid
// or missing date or zone.
double ParseMailDate(std::string_view text);

// Seconds since 1970 (UTC) of a local date-time.
double UnixSecondsFromLocal(double t);

// Calendar conversions of day counts; false when the fields are out of range.
bool EncodeDayCount(int year, int month, int day, double& result);
void DecodeDayCount(double t, int& year, int& month, int& day, int& hour, int& minute,
                    int& second, int& dayOfWeek);

// Local time as "yyyymmddhhnnss".
std::string LocalStamp14(double t);

} // namespace pelmora

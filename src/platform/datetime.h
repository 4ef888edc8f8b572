#pragma once
// Dates and times as day counts (TDateTime: days since 1899-12-30, the fraction is the time of day)
// and a clock that tests can set.
#include <functional>
#include <string>

namespace vorlend {

using TDateTime = double;

bool IsValidDate(int year, int month, int day);
// Day count of a calendar date; the date must be valid.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& msec);

// The local clock. Tests replace it with SetClockForTesting; an empty function restores the system clock.
TDateTime Now();
TDateTime Today();  // Now() without the time of day
void SetClockForTesting(std::function<TDateTime()> clock);

// The moment now in UTC, the same text in every locale and time zone and ordered as text:
// "2026-12-08T10:15:30.123456Z".
std::string UtcStamp();
// A UtcStamp as this machine's local time with its offset from UTC, to the second
// ("2026-12-08T11:15:30+01:00"); empty when the text is no such stamp.
std::string LocalIsoTime(const std::string& utcStamp);

}  // namespace vorlend

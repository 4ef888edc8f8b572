#include "platform/datetime.h"

#include <sys/time.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

namespace vorlend {

namespace {
// Days from 0001-01-01 (proleptic Gregorian) to 1899-12-30.
constexpr long kDelphiEpoch = 693594;

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return (m == 2 && IsLeap(y)) ? 29 : kDays[m - 1];
}

std::mutex g_clockMutex;
std::function<TDateTime()> g_clock;
}  // namespace

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

TDateTime EncodeDate(int year, int month, int day) {
  long days = 0;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  const long y = year - 1;
  days += day + y * 365 + y / 4 - y / 100 + y / 400;
  return static_cast<TDateTime>(days - 1 - kDelphiEpoch + 1);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  return (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / 86400000.0;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  // Days since 0001-01-01, then the 400/100/4/1-year cycles.
  long d = static_cast<long>(std::floor(dt)) + kDelphiEpoch - 1;
  if (d < 0) {
    year = month = day = 0;
    return;
  }
  constexpr long d1 = 365, d4 = d1 * 4 + 1, d100 = d4 * 25 - 1, d400 = d100 * 4 + 1;
  long y = 1;
  y += (d / d400) * 400;
  d %= d400;
  long i = d / d100;
  if (i == 4) i = 3;
  y += i * 100;
  d -= i * d100;
  y += (d / d4) * 4;
  d %= d4;
  i = d / d1;
  if (i == 4) i = 3;
  y += i;
  d -= i * d1;
  int m = 1;
  while (d >= DaysInMonth(static_cast<int>(y), m)) {
    d -= DaysInMonth(static_cast<int>(y), m);
    ++m;
  }
  year = static_cast<int>(y);
  month = m;
  day = static_cast<int>(d) + 1;
}

void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& msec) {
  double frac = std::fabs(dt - std::floor(dt));
  long ms = std::lround(frac * 86400000.0);
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>((ms / 60000) % 60);
  second = static_cast<int>((ms / 1000) % 60);
  msec = static_cast<int>(ms % 1000);
}

TDateTime Now() {
  {
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_clock) return g_clock();
  }
  timeval tv{};
  ::gettimeofday(&tv, nullptr);
  std::tm tm{};
  const std::time_t t = tv.tv_sec;
#ifdef _WIN32
  ::localtime_s(&tm, &t);
#else
  ::localtime_r(&t, &tm);
#endif
  return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
         EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
}

std::string UtcStamp() {
  long long micros = 0;
  {
    // A test's clock is taken as UTC, so what it writes is the same everywhere.
    std::lock_guard<std::mutex> lock(g_clockMutex);
    if (g_clock) micros = std::llround((g_clock() - 25569.0) * 86400.0 * 1e6);
  }
  if (micros == 0) {
    const auto now = std::chrono::system_clock::now();
    micros = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count();
  }
  const std::time_t t = static_cast<std::time_t>(micros / 1000000);
  std::tm tm{};
#ifdef _WIN32
  ::gmtime_s(&tm, &t);
#else
  ::gmtime_r(&t, &tm);
#endif
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(micros % 1000000));
  return text;
}

std::string LocalIsoTime(const std::string& utcStamp) {
  std::tm utc{};
  int seconds = 0;
  if (std::sscanf(utcStamp.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &utc.tm_year, &utc.tm_mon, &utc.tm_mday, &utc.tm_hour,
                  &utc.tm_min, &seconds) != 6) {
    return {};
  }
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  utc.tm_sec = seconds;
#ifdef _WIN32
  const std::time_t t = ::_mkgmtime(&utc);
  std::tm local{};
  ::localtime_s(&local, &t);
#else
  const std::time_t t = ::timegm(&utc);
  std::tm local{};
  ::localtime_r(&t, &local);
#endif
  if (t == static_cast<std::time_t>(-1)) return {};
  // The offset: the local clock's reading taken as if it were UTC, less the moment itself.
  std::tm asUtc = local;
#ifdef _WIN32
  const long offset = static_cast<long>(::_mkgmtime(&asUtc) - t);
#else
  const long offset = static_cast<long>(::timegm(&asUtc) - t);
#endif
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                std::labs(offset) / 3600, std::labs(offset) % 3600 / 60);
  return text;
}

TDateTime Today() {
  return std::floor(Now());
}

void SetClockForTesting(std::function<TDateTime()> clock) {
  std::lock_guard<std::mutex> lock(g_clockMutex);
  g_clock = std::move(clock);
}

}  // namespace vorlend

#include "host/core/clock.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::mutex g_mutex;
bool g_clockFixed = false;
int64_t g_clockMs = 0;
bool g_timeFixed = false;
int64_t g_unixMs = 0;
std::atomic<uint32_t> g_randState{1};

// Milliseconds since the process started using the clock, so the values
// stay small as with the original's clock().
int64_t RealMonotonicMs() {
  using namespace std::chrono;
  static const steady_clock::time_point start = steady_clock::now();
  return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

int64_t NowUnixMs() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_timeFixed) return g_unixMs;
  }
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Days since 1970-01-01 for a proleptic Gregorian date (and the reverse),
// so that no time zone or locale enters the UTC conversion.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = int(int64_t(yoe) + era * 400 + (*m <= 2));
}

}  // namespace

DWORD GetTickCount() { return DWORD(uint64_t(vorel::host::ClockMs()) & 0xFFFFFFFFu); }

void GetSystemTime(SYSTEMTIME* st) {
  if (!st) return;
  int64_t ms = NowUnixMs();
  int64_t secs = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  int64_t days = secs >= 0 ? secs / 86400 : (secs - 86399) / 86400;
  int64_t sod = secs - days * 86400;
  int y;
  unsigned m, d;
  CivilFromDays(days, &y, &m, &d);
  st->wYear = WORD(y);
  st->wMonth = WORD(m);
  st->wDay = WORD(d);
  st->wDayOfWeek = WORD(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  st->wHour = WORD(sod / 3600);
  st->wMinute = WORD((sod % 3600) / 60);
  st->wSecond = WORD(sod % 60);
  st->wMilliseconds = WORD(ms - secs * 1000);
}

char* _strtime(char* buf) {
  if (!buf) return buf;
  std::time_t t = std::time_t(NowUnixMs() / 1000);
  std::tm local{};
  localtime_r(&t, &local);
  std::strftime(buf, 9, "%H:%M:%S", &local);
  return buf;
}

int HostRand() {
  // The classic linear congruential step with the 15 bits above bit 16; a
  // compare-and-swap keeps draws from parallel loops race-free.
  uint32_t cur = g_randState.load(std::memory_order_relaxed), next;
  do {
    next = cur * 214013u + 2531011u;
  } while (!g_randState.compare_exchange_weak(cur, next, std::memory_order_relaxed));
  return int((next >> 16) & 0x7FFFu);
}

void HostSRand(unsigned seed) { g_randState.store(seed, std::memory_order_relaxed); }

namespace vorel::host {

void FixClockMs(int64_t ms) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_clockFixed = true;
  g_clockMs = ms;
}

void AdvanceClockMs(int64_t ms) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_clockFixed) {
    g_clockFixed = true;
    g_clockMs = RealMonotonicMs();
  }
  g_clockMs += ms;
}

void UnfixClock() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_clockFixed = false;
}

int64_t ClockMs() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_clockFixed) return g_clockMs;
  }
  return RealMonotonicMs();
}

void FixSystemTime(int64_t unixSeconds, int milliseconds) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_timeFixed = true;
  g_unixMs = unixSeconds * 1000 + milliseconds;
}

void FixSystemTime(const SYSTEMTIME& utc) {
  int64_t days = DaysFromCivil(utc.wYear, utc.wMonth, utc.wDay);
  FixSystemTime(days * 86400 + utc.wHour * 3600 + utc.wMinute * 60 + utc.wSecond,
                utc.wMilliseconds);
}

void UnfixSystemTime() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_timeFixed = false;
}

}  // namespace vorel::host

// Clocks and the pseudo-random generator, both fixable by tests.
//
// The plug-ins read elapsed time in milliseconds (clock() on the original
// platform counts wall milliseconds; on Linux it counts CPU time of all
// threads), so they call GetTickCount instead. The system time is UTC.
#pragma once
#include <cstdint>

#include "host/core/win32.h"

struct SYSTEMTIME {
  WORD wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
  WORD wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

// Monotonic milliseconds since the clock's first use in this process, or
// the fixed value.
DWORD GetTickCount();
// The current UTC date and time, or the fixed value.
void GetSystemTime(SYSTEMTIME* st);
// Local time of day of the same instant as "hh:mm:ss" into a buffer of at
// least 9 characters; returns buf.
char* _strtime(char* buf);

// The 15-bit generator the plug-ins divide by 32767: values 0..HOST_RAND_MAX,
// one sequence per process whatever thread draws (safe to call from
// parallel loops; which thread gets which value then varies from run to run).
constexpr int HOST_RAND_MAX = 32767;
int HostRand();
void HostSRand(unsigned seed);

namespace vorel::host {
// Fixes GetTickCount at ms until Advance/Unfix; AdvanceClock moves a fixed
// clock on (and fixes it at now + ms when it was running).
void FixClockMs(int64_t ms);
void AdvanceClockMs(int64_t ms);
void UnfixClock();
int64_t ClockMs();  // the same value as GetTickCount, not truncated
// Fixes the UTC wall clock at the given Unix time (seconds, milliseconds).
void FixSystemTime(int64_t unixSeconds, int milliseconds = 0);
void FixSystemTime(const SYSTEMTIME& utc);
void UnfixSystemTime();
}  // namespace vorel::host

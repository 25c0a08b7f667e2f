// The few host services the solver needs: the Escape test between phases,
// the 15-bit random generator and the millisecond clock that seeds it.
#pragma once
#include <functional>
#include <string>

namespace solver_host {
// True when the user asked to stop the running operation.
bool AbortRequested();
// Replaces the Escape test (tests count and fake polls); an empty function
// restores the host's own test.
void SetAbortTest(std::function<bool()> test);
// 0..32767, like the host's rand().
int Rand15();
void SeedRand(unsigned seed);
// Milliseconds from the host's monotonic clock.
unsigned ClockMs();
// The host's installation root (host folder id 20).
std::string InstallFolder();
// The system's temporary folder, with a trailing separator.
std::string TempPath();
}  // namespace solver_host

// The text forms of the simulation stamp (the date-and-time value written
// into every frame of a cache) and of elapsed times ("hh:mm:ss"), used by the
// engine's reset, the frame solve, the batch solve and the solve log.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/core/clock.h"

// Room for any stamp text ("%d " of a 32-bit value) and any elapsed-time
// text, with the terminator.
constexpr size_t kStampTextSize = 16;
constexpr size_t kElapsedTextSize = 32;

// ((month x 30 + day) x 24 + hour) x 60 + minute of a UTC time: 44640 on
// 1 January 00:00, 564479 on 31 December 23:59.
int SimulationStampValue(const SYSTEMTIME& utc);
// The stamp of the current UTC time (what a reset writes into its cache).
int32_t CurrentSimulationStamp();

// Writes the current stamp as "%d " (the number and one blank) into buffer,
// always terminated; a buffer of kStampTextSize holds every value. A smaller
// buffer gets as much of the text as fits (nothing for size 0).
void FormatSimulationStamp(char* buffer, size_t size);

// Writes "%02d:%02d:%02d" of ms as hours, minutes and seconds (each
// truncated; hours may take more than two digits; a negative count reads as
// 0), always terminated; a buffer of kElapsedTextSize holds every value.
void FormatElapsedTime(long long ms, char* buffer, size_t size);
// The same text as a string (progress dialogs, the solve log).
std::string FormatElapsedMs(long long ms);

#include "fluid_core/stamp_text.h"

#include <cstdio>

int SimulationStampValue(const SYSTEMTIME& utc) {
  return ((int(utc.wMonth) * 30 + int(utc.wDay)) * 24 + int(utc.wHour)) * 60 + int(utc.wMinute);
}

int32_t CurrentSimulationStamp() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return SimulationStampValue(now);
}

void FormatSimulationStamp(char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  std::snprintf(buffer, size, "%d ", CurrentSimulationStamp());
}

void FormatElapsedTime(long long ms, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  if (ms < 0) ms = 0;
  std::snprintf(buffer, size, "%02lld:%02lld:%02lld", ms / 3600000, (ms % 3600000) / 60000, (ms % 60000) / 1000);
}

std::string FormatElapsedMs(long long ms) {
  char text[kElapsedTextSize];
  FormatElapsedTime(ms, text, sizeof text);
  return text;
}

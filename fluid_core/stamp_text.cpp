#include "fluid_core/stamp_text.h"

#include <cstdio>

int SimulationStampValue(const SYSTEMTIME& utc) {
  return ((int(utc.wMonth) * 30 + int(utc.wDay)) * 24 + int(utc.wHour)) * 60 + int(utc.wMinute);
}

void FormatSimulationStamp(char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  SYSTEMTIME now;
  GetSystemTime(&now);
  std::snprintf(buffer, size, "%d ", SimulationStampValue(now));
}

void FormatElapsedTime(int ms, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  std::snprintf(buffer, size, "%02d:%02d:%02d", ms / 3600000, (ms % 3600000) / 60000, (ms % 60000) / 1000);
}

// Reads a Windows bitmap file the way an image viewer would, independently of
// any writer in the project, so that scripts can check that what the plug-ins
// wrote is a picture other programs open.
#pragma once
#include <cstdint>
#include <string>

namespace vorel::host {

struct BmpInfo {
  int32_t width = 0;
  int32_t height = 0;  // rows, whatever their stored order
  int bitsPerPixel = 0;
  // Darkest and brightest pixel as grey (0.299 R + 0.587 G + 0.114 B,
  // rounded), and how many pixels are not black.
  int darkest = 0;
  int brightest = 0;
  int64_t litPixels = 0;
};

// Reads the whole file: "BM" header, a 40-byte (or larger) info header, no
// compression, 1/4/8/24/32 bits per pixel, palette entries for every index in
// use and every row present. False with `why` set for anything else.
bool ReadBmpInfo(const std::string& path, BmpInfo& info, std::string& why);

}  // namespace vorel::host

// Bitmap files of the wet maps: the description block of a bitmap and the
// writer that stores a 24-bit bitmap as an 8-bit grey BMP file (the blue
// channel of each pixel, a grey-ramp palette, rows padded to 4 bytes).
#pragma once
#include "host/core/gdi.h"

// A zeroed description of the bitmap for bitCount bits per pixel: the
// 40-byte info header (width, height and planes of the bitmap, bitCount,
// uncompressed, image size from the rounded bit depth) followed by a colour
// table of 2^bits entries when the rounded depth is below 24. Null when the
// bitmap cannot be read. Free it with FreeBitmapInfo.
BITMAPINFO* CreateBitmapInfo(HBITMAP bitmap, int bitCount);
void FreeBitmapInfo(BITMAPINFO* info);

// Reads the bitmap's pixels in info's 24-bit format and writes fileName as
// an 8-bit grey BMP: the 14-byte file header ("BM", file size 1078 + image
// size, bits at offset 1078), the 40-byte info header (8 bits, 256 colours
// used and important), 256 palette entries (i, i, i, 0), then the rows
// bottom first, each pixel the blue byte of the 24-bit one, each row padded
// to 4 bytes. info is left as it was. The file is written under a temporary
// name and renamed over fileName, so a failure leaves any older file whole.
// On any failure (info not 24-bit or its size unlike the bitmap's, pixels
// unreadable, file not writable) it shows "error en CreateBMPFile" on the
// prompt line for 1000 ms, stops and answers false.
bool CreateBMPFile(const char* fileName, const BITMAPINFO* info, HBITMAP bitmap, HDC dc);

// PNG files of frames read back from OpenGL: 8-bit RGB, compressed with a small deflate that
// finds the repeats frames are made of (runs of one colour, rows like the row above).
#pragma once

#include <cstdint>
#include <vector>

// Width * Height pixels of 3 bytes, the top row first.
std::vector<std::uint8_t> EncodePng(int Width, int Height, const std::vector<std::uint8_t>& Rgb);

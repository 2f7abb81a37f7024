// A bitmap file in memory, for the tests of the background picture.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace bitmap_file_detail {

inline void PutLittleEndian(std::string& bytes, std::uint32_t value, int width) {
    for (int k = 0; k < width; ++k) {
        bytes += static_cast<char>(value >> (8 * k) & 0xFF);
    }
}

} // namespace bitmap_file_detail

// An uncompressed 24-bit bitmap file of one colour; `pixels` false leaves the pixel rows
// out, so the header promises what the file does not hold.
inline std::string BitmapFile(int width, int height, COLORREF colour, bool pixels = true) {
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(height);
    using bitmap_file_detail::PutLittleEndian;
    std::string file = "BM";
    PutLittleEndian(file, 54 + imageBytes, 4);
    PutLittleEndian(file, 0, 4);
    PutLittleEndian(file, 54, 4);
    PutLittleEndian(file, 40, 4); // BITMAPINFOHEADER
    PutLittleEndian(file, static_cast<std::uint32_t>(width), 4);
    PutLittleEndian(file, static_cast<std::uint32_t>(height), 4);
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, 24, 2);
    PutLittleEndian(file, BI_RGB, 4);
    PutLittleEndian(file, imageBytes, 4);
    PutLittleEndian(file, 2835, 4);
    PutLittleEndian(file, 2835, 4);
    PutLittleEndian(file, 0, 4);
    PutLittleEndian(file, 0, 4);
    if (pixels) {
        std::string row;
        for (int x = 0; x < width; ++x) {
            row += static_cast<char>(GetBValue(colour));
            row += static_cast<char>(GetGValue(colour));
            row += static_cast<char>(GetRValue(colour));
        }
        row.resize(rowBytes, '\0');
        for (int y = 0; y < height; ++y) {
            file += row;
        }
    }
    return file;
}

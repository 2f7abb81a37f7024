// Small files the programs read and write: the settings file, the virtual drive's state
// files and its port file.
//
// Reading looks at the file's type before it opens it, and opens it without blocking, so a
// FIFO, a device or a directory in place of the file never hangs or floods the program; it
// reads at most `maxSize` bytes. Writing goes to a temporary file of a unique name in the
// same folder, flushed to the disk, that then replaces the old file, so a crash or a second
// writer never leaves the file empty or half written.
//
// One implementation per platform: small_file_linux.cpp, small_file_win32.cpp.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// A file name in the platform's own form, as std::filesystem::path::native() gives it:
// UTF-8 bytes on Linux, UTF-16 on Windows. The functions take it rather than a path
// object: the library's path code and its conversions bring its whole locale machinery
// into the window programs, hundreds of KB.
using NativePath = std::filesystem::path::string_type;

// A UTF-16 file name (the window's and the settings' own text) in that form.
NativePath NativePathFromUtf16(std::u16string_view path);

enum class SmallFileResult {
    Read,       // `content` holds the whole file
    Missing,    // no such file
    NotRegular, // a FIFO, a device, a directory...
    TooLarge,   // more than `maxSize` bytes
    Failed,     // `error` gives the system's reason
};

SmallFileResult ReadSmallFile(const NativePath& path, std::size_t maxSize, std::string& content,
                              std::string& error);

// False with `error` (the system's reason included) when the file cannot be replaced; the
// old file is then untouched and no temporary file is left behind.
bool WriteFileAtomically(const NativePath& path, std::string_view content,
                         std::string& error);


#include <io.h>
#include <windows.h>

#include <cstdio>

#include "cli/console.h"

bool IsTerminal(StandardStream stream) {
    return _isatty(_fileno(stream == StandardStream::Out ? stdout : stderr)) != 0;
}

void PrepareConsole() {
    // The texts are written as UTF-8; the console shows them so only with this code page.
    SetConsoleOutputCP(CP_UTF8);
    // Lets "\r\x1b[K" rewrite the progress line on the Windows 10 console.
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
        SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

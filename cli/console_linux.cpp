#include <unistd.h>

#include "cli/console.h"

bool IsTerminal(StandardStream stream) {
    return isatty(stream == StandardStream::Out ? STDOUT_FILENO : STDERR_FILENO) == 1;
}

void PrepareConsole() {}

#include "virtual_drive/broken_pipe.h"

#include <csignal>

namespace vdrive {

void IgnoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace vdrive

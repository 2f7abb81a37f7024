// A reader that goes away (tessalok-vdrive -v 2>&1 | head -1) must not end the server:
// writes to a closed pipe then fail, and the server goes on serving.
// One implementation per platform: broken_pipe_linux.cpp, broken_pipe_win32.cpp.
#pragma once

namespace vdrive {

// Makes a write to a closed pipe or socket fail instead of ending the process.
void IgnoreBrokenPipes();

} // namespace vdrive

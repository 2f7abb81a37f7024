#include "virtual_drive/broken_pipe.h"

namespace vdrive {

// Windows has no SIGPIPE: a write to a closed pipe already fails with an error.
void IgnoreBrokenPipes() {}

} // namespace vdrive

// The control texts of tessalok-vdrive: one line of words, optionally led by the volume
// ("F: touch"); without it the first fingerprint drive is meant. The answer is one line:
// "ok", the information asked for, or "error: ..." (ControlHelp lists them all).
#pragma once

#include <string>
#include <string_view>

#include "virtual_drive/volume_set.h"

namespace vdrive {

struct ControlResult {
    std::string reply;
    bool shutdown = false; // the "shutdown" text: the server stops after answering
};

ControlResult RunControl(VolumeSet& volumes, std::string_view text);

// The control texts with one line each, as --help and docs show them.
const char* ControlHelp();

} // namespace vdrive

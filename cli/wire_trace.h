// The wire trace: every vendor command on a stream (stderr), as the recording
// transport's observer. Each command shows its CDB and data in hex, then the decoded
// sub-command, the descrambled frame and what it means.
#pragma once

#include <iosfwd>

#include "device/command_decoder.h"
#include "device/recording_transport.h"

class WireTrace {
  public:
    explicit WireTrace(std::ostream& out) : m_out(out) {}
    // Prints one command; call in the order the commands were sent.
    void operator()(const CommandRecord& record);

  private:
    std::ostream& m_out;
    CommandDecoder m_decoder;
};

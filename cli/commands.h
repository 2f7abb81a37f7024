// The commands of tessalok, run against a transport: each finds the drive with the
// operations' own search, runs its operation and maps the outcome to an exit code.
#pragma once

#include <iosfwd>

#include "cli/cli_options.h"
#include "cli/terminal_window.h"
#include "device/clock.h"
#include "device/scsi_transport.h"

struct CommandContext {
    const CliOptions& options;
    IScsiTransport& transport;
    IClock& clock;
    TerminalWindow::Streams streams;
    bool inPlace = false; // stdout is a terminal
    // Letter the search is limited to (--drive, --device); 0: every present letter.
    char onlyLetter = 0;
};

// Runs a drive command (every command but Languages).
int RunCommand(const CommandContext& context);
// The thirteen language names with their indexes.
void PrintLanguages(std::ostream& out);

// Exit code for the text an install or erase showed in its result box.
int ExitCodeForResult(const std::u16string& resultText);

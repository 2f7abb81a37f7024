// tessalok: the fingerprint operations on the command line.
#include <iostream>

#include "app/start_settings.h"
#include "app/system_settings.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/interrupt.h"
#include "cli/transport_choice.h"

int main(int argc, char** argv) {
    PrepareConsole();
    const ParseResult parsed = ParseCommandLine(argc, argv);
    if (!parsed.options) {
        (parsed.exitCode == exit_code::kSuccess ? std::cout : std::cerr) << parsed.output;
        return parsed.exitCode;
    }
    const CliOptions& options = *parsed.options;

    if (options.language) {
        g_language = *options.language;
    } else {
        // The window's start-language rule: the locale, then the settings file.
        InitialiseSettingsPath();
        ChooseStartLanguage(*CreateSystemLocale(), *CreateSystemSettingsStore());
    }

    if (options.command == Command::Languages) {
        PrintLanguages(std::cout);
        return exit_code::kSuccess;
    }

    const ChosenTransport chosen = ChooseTransport(options);
    if (!chosen.transport) {
        std::cerr << "tessalok: this platform has no drive transport\n";
        return exit_code::kNoDrive;
    }
    // Ctrl-C cuts the waits short (it is looked at only during install and erase).
    SystemClock clock(&InterruptFlag());
    const CommandContext context{options,
                                 *chosen.transport,
                                 clock,
                                 {std::cout, std::cerr, std::cin},
                                 IsTerminal(StandardStream::Out),
                                 chosen.limitToLetter ? chosen.letter : '\0'};
    return RunCommand(context);
}

// Thin entry point: each mode runs in its window where a display answers,
// and on the console where none does (cron, CI, ssh, a stale DISPLAY).
#include <unistd.h>

#include <iostream>

#include "CommandLine.h"
#include "ConsoleRun.h"
#include "HelpTexts.h"
#include "OAuthLogin.h"
#include "OutboxFlush.h"
#include "SendmailArgs.h"
#include "SendmailRun.h"
#include "TerminalConfig.h"
#include "WindowModule.h"
#include "WindowSystem.h"

int main(int argc, char** argv) {
  if (argc > 0 && IsSendmailName(argv[0])) return SendmailRun::Main(argc, argv);
  using CommandLine::RunMode;
  auto windowOr = [argc, argv](RunMode mode, const std::function<int()>& console) {
    return [=] {
      if (WindowSystem::Usable()) {
        std::string why;
        if (const auto status = WindowModule::Run(static_cast<int>(mode), argc, argv, why))
          return *status;
        std::cerr << "Tarnwick: the windows cannot be loaded (" << why
                  << "); working without them.\n";
      }
      return console();
    };
  };
  CommandLine::ModeWindows modes;
  modes.help = windowOr(RunMode::Help, PrintHelp);
  modes.config = windowOr(RunMode::Config, [] {
    // Over ssh or on a server: the same fields, asked on the terminal.
    if (::isatty(STDIN_FILENO) == 1) return TerminalConfig::Run(STDIN_FILENO, STDOUT_FILENO);
    return CommandLine::NeedsDisplay(RunMode::Config);
  });
  modes.simpleSender = windowOr(RunMode::SimpleSender,
                                [] { return CommandLine::NeedsDisplay(RunMode::SimpleSender); });
  modes.delivery = windowOr(RunMode::Delivery, [] { return RunDeliveryConsole(); });
  modes.version = PrintVersion;
  modes.flush = OutboxFlush::Run;
  modes.outbox = OutboxFlush::List;
  modes.login = windowOr(RunMode::Login, [] { return OAuthLogin::Run(); });
  return CommandLine::Main(argc, argv, modes);
}

// The window library's entry point. The program loads this library only
// where a display answers, so a run without one never loads the widget and
// font libraries.
#include "CommandLine.h"
#include "WindowModule.h"
#include "WindowRun.h"
#include "frmAbout.h"
#include "frmCommandLine.h"
#include "frmConfig.h"
#include "frmSignIn.h"
#include "frmTarnwick.h"
#include "frmTarnwickHelp.h"

extern "C" __attribute__((visibility("default"))) int TarnwickWindowMain(int mode, int argc,
                                                                         char** argv) {
  static_assert(std::is_same_v<decltype(&TarnwickWindowMain), WindowModule::Entry>);
  // This library holds its own copy of the program's state: set it up again.
  CommandLine::Prepare(argc, argv);
  WindowRun::RestartWithoutDisplayOnFailure(argv);
  switch (static_cast<CommandLine::RunMode>(mode)) {
    case CommandLine::RunMode::Help:
      return RunHelpWindow();
    case CommandLine::RunMode::Config:
      return RunConfigWindow(ShowAbout);
    case CommandLine::RunMode::SimpleSender:
      return RunSimpleSenderWindow();
    case CommandLine::RunMode::Delivery:
      return RunDeliveryWindow();
    case CommandLine::RunMode::Login:
      return RunSignInWindow();
    case CommandLine::RunMode::Version:
    case CommandLine::RunMode::Flush:
    case CommandLine::RunMode::Outbox:
      break;
  }
  return 2;
}

// Thin entry point: wires each mode's window into start-up.
#include "CommandLine.h"
#include "frmAbout.h"
#include "frmCommandLine.h"
#include "frmConfig.h"
#include "frmTarnwick.h"
#include "frmTarnwickHelp.h"

int main(int argc, char** argv) {
  CommandLine::ModeWindows windows;
  windows.help = RunHelpWindow;
  windows.config = [] { return RunConfigWindow(ShowAbout); };
  windows.simpleSender = RunSimpleSenderWindow;
  windows.delivery = RunDeliveryWindow;
  return CommandLine::Main(argc, argv, windows);
}

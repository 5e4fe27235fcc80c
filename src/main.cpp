// Thin entry point: wires each mode's window into start-up.
#include "CommandLine.h"
#include "frmCommandLine.h"

int main(int argc, char** argv) {
  CommandLine::ModeWindows windows;
  windows.delivery = RunDeliveryWindow;
  return CommandLine::Main(argc, argv, windows);
}

// Thin entry point: wires each mode's window into start-up.
#include "CommandLine.h"

int main(int argc, char** argv) {
  return CommandLine::Main(argc, argv, CommandLine::ModeWindows{});
}

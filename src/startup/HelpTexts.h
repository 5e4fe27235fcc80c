#pragma once
// The help and version texts: what the help window shows, and what a run
// without a display prints on standard output instead.
#include <string>

struct HelpTexts {
  std::string title, verInfo, usage, noParms, options, optionsDesc;
};

// The texts the help window shows, lines joined by CR LF.
HelpTexts MakeHelpTexts();

// The help as plain text: the window's texts in two columns, then a short
// note on what this system adds.
std::string ConsoleHelp();

// "Tarnwick Version 1.0 build 000 Command-line e-mail sender".
std::string VersionLine();

// Help and version modes without a display: print, exit status 0.
int PrintHelp();
int PrintVersion();

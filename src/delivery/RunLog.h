#pragma once
// The run log Tarnwick.log next to the program: only ever appended to, every
// line ended by CR LF, each group of lines written by one open-write-close.
#include <string>
#include <string_view>
#include <vector>

#include "Bool16.h"

// Set once per command-line run: whether the "log" switch is there.
extern Bool16 LogEnabled;

namespace ProcLib {

// Pieces of the text between CR LF pairs, in slots 1..N; slot 0 is empty.
// An empty text gives one empty piece; a text ending in CR LF, a last empty one.
void SplitLines(std::string_view text, std::vector<std::string>& lines);

// The text on one line: CR, LF and the other control bytes but TAB written
// as \r, \n and \xNN, so no value can forge or hide a line.
std::string OneLine(std::string_view text);

// Appends the lines when LogEnabled, each made OneLine. A log that is no
// regular file (a FIFO, a device) is not opened, so it cannot hold the run. A log that cannot be
// written is reported once on standard error; the run goes on without it. Returns whether written.
bool WriteLogLines(const std::vector<std::string>& lines);

}  // namespace ProcLib

// The current date (short form) and time (long form) in the user's locale.
std::string RunLogStamp();

// The log's path, and the reporting of a failed write, for tests.
std::string RunLogPath();
void ResetRunLogFailureForTesting();

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

// Appends the lines when LogEnabled. A log that cannot be written is reported
// once on standard error; the run goes on without it. Returns whether written.
bool WriteLogLines(const std::vector<std::string>& lines);

}  // namespace ProcLib

// The current date (short form) and time (long form) in the user's locale.
std::string RunLogStamp();

// The log's path, and the reporting of a failed write, for tests.
std::string RunLogPath();
void ResetRunLogFailureForTesting();

#pragma once
// The run log Tarnwick.log, owned by the run that writes it: only ever
// appended to, every line ended by CR LF, each group of lines written by one
// open-write-close, and nothing at all unless the run was asked to log.
#include <string>
#include <string_view>
#include <vector>

class RunLog {
 public:
  explicit RunLog(bool enabled = false) : enabled_(enabled) {}

  bool Enabled() const { return enabled_; }

  // Appends the lines when enabled, each made OneLine. A log that is no
  // regular file (a FIFO, a device) is not opened, so it cannot hold the
  // run. A log that cannot be written is reported once on standard error;
  // the run goes on without it. Returns whether written.
  bool Write(const std::vector<std::string>& lines);

  // One line after the time stamp: Line(" error: ...").
  void Line(const std::string& text) { Write({Stamp() + text}); }

  // The current date (short form) and time (long form) in the user's locale.
  static std::string Stamp();

  static std::string Path();

  // The text on one line: CR, LF and the other control bytes but TAB written
  // as \r, \n and \xNN, so no value can forge or hide a line.
  static std::string OneLine(std::string_view text);

  // The pieces of a text between CR LF pairs. An empty text gives one empty
  // piece; a text ending in CR LF, a last empty one.
  static std::vector<std::string> SplitLines(std::string_view text);

 private:
  bool enabled_;
  bool failureReported_ = false;
};

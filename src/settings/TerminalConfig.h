#pragma once
// The configuration on a terminal, for a machine without a display: the
// configuration window's eight fields in its order, each showing its value
// (Enter keeps it, a lone "-" empties it), the password read without echo
// and stored as the window stores it, then saved where the next run reads.
namespace TerminalConfig {

// Asks on `in` (a terminal) and answers on `out`; the exit status: 0 saved,
// 1 ended early (nothing saved), 2 the settings cannot be read or saved.
int Run(int in, int out);

}  // namespace TerminalConfig

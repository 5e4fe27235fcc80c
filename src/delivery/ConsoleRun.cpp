#include "ConsoleRun.h"

#include <unistd.h>

#include <iostream>

void ConsoleView::SetStatus(const std::string& text) {
  // A person at a terminal sees a long attachment advance; a pipe gets none.
  static const bool terminal = ::isatty(STDERR_FILENO) == 1;
  if (!terminal || text.rfind("Sending message:", 0) != 0) return;
  std::cerr << "\rTarnwick: " << text << "\x1b[K" << std::flush;
  if (text.find("100%") != std::string::npos) std::cerr << "\n";
}

void ConsoleView::SetBusy(bool busy) {
  // Before the send (a body still coming from a pipe, say) and after the
  // outcome, a signal ends the program the way it ends any tool.
  if (busy && run_ != nullptr) {
    loop_.CatchStopSignals([run = run_] { run->CloseRequested(); });
  } else if (!busy) {
    loop_.ReleaseStopSignals();
  }
}

int RunDeliveryConsole() {
  ConsoleLoop loop;
  ConsoleView view(loop);
  DeliveryRun run(view, loop);
  view.Attach(run);
  ConsoleSender smtp(loop, run);
  run.Run(smtp);
  const int status = run.ExitStatus();
  // The outcome is reported and the log closed: a QUIT still under way is
  // no reason to wait, and nothing else is left to tidy.
  std::cerr.flush();
  ::_exit(status);
}

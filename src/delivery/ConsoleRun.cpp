#include "ConsoleRun.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "MailText.h"

void ConsoleView::SetProgress(std::uint64_t sent, std::uint64_t total) {
  // A person at a terminal sees a long attachment advance; a pipe gets none.
  static const bool terminal = ::isatty(STDERR_FILENO) == 1;
  if (!terminal || total == 0) return;
  const int tenth = static_cast<int>(std::min<std::uint64_t>(10, sent * 10 / total));
  if (tenth < lastTenth_) lastTenth_ = -1;  // a new attempt starts over
  if (tenth <= lastTenth_) return;
  lastTenth_ = tenth;
  std::cerr << "\rTarnwick: Sending message: " << tenth * 10 << "% of " << MailText::SizeText(total)
            << "\x1b[K" << std::flush;
  if (tenth == 10) std::cerr << "\n";
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

int RunDeliveryConsole(DeliveryRun::JobSource source) {
  ConsoleLoop loop;
  ConsoleView view(loop);
  DeliveryRun run(view, loop, std::move(source));
  view.Attach(run);
  ConsoleSender smtp(loop, run);
  run.Run(smtp);
  const int status = run.ExitStatus();
  // The outcome is reported and the log closed: a QUIT still under way is
  // no reason to wait, and nothing else is left to tidy.
  std::cerr.flush();
  ::_exit(status);
}

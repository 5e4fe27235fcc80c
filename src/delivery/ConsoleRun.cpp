#include "ConsoleRun.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <iostream>

#include "SmtpClient.h"

namespace {

int& SignalWriteEnd() {
  static int fd = -1;
  return fd;
}

volatile std::sig_atomic_t sending = 0;

extern "C" void OnStopSignal(int signal) {
  if (sending == 0) {
    // Nothing is on the way yet (a body still coming from a pipe, say):
    // end the way any tool does.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  const char byte = 1;
  (void)!::write(SignalWriteEnd(), &byte, 1);  // async-signal-safe; the loop does the rest
}

}  // namespace

void ConsoleView::SetBusy(bool busy) { sending = busy ? 1 : 0; }

void ConsoleView::SetStatus(const std::string& text) {
  // A person at a terminal sees a long attachment advance; a pipe gets none.
  static const bool terminal = ::isatty(STDERR_FILENO) == 1;
  if (!terminal || text.rfind("Sending message:", 0) != 0) return;
  std::cerr << "\rTarnwick: " << text << "\x1b[K" << std::flush;
  if (text.find("100%") != std::string::npos) std::cerr << "\n";
}

int RunDeliveryConsole() {
  static char name[] = "tarnwick";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  const QCoreApplication app(argc, argv);
  ConsoleView view;
  DeliveryRun run(view);
  SmtpClient smtp;
  QObject::connect(&smtp, &SmtpClient::ErrorSMTP, &app,
                   [&](std::int16_t number, const std::string& description) {
                     run.oSMTP_ErrorSMTP(number, description);
                   });
  QObject::connect(&smtp, &SmtpClient::SendSMTP, &app, [&] { run.oSMTP_SendSMTP(); });
  QObject::connect(&smtp, &SmtpClient::StatusChanged, &app,
                   [&](const std::string&) { run.oSMTP_StatusChanged(smtp.StatusText()); });

  int fds[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> stop;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
    SignalWriteEnd() = fds[1];
    stop = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    QObject::connect(stop.get(), &QSocketNotifier::activated, &app, [&] {
      char byte = 0;
      (void)!::read(fds[0], &byte, 1);
      run.QueryUnload();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
  }
  run.Run(smtp);
  return run.ExitStatus();
}

#pragma once
// Puts a run's message into the outbox: rendered whole, attachments encoded
// in and Date and Message-ID fixed, so every later try sends the same bytes
// whatever happens to the files; with where to send it and which settings
// file to take the password from, never the password itself.
#include <string>

class MailSender;

namespace OutboxQueue {

struct Queued {
  std::string id;         // empty: not queued, `problem` says why
  std::string problem;    // one line
  bool badInput = false;  // the message itself is refused (exit 2), not the outbox
};

// `attempts` made already and the last error, for the history; a message
// that has been tried waits a minute before its next try.
Queued Put(const MailSender& smtp, const std::string& settingsPath, int attempts,
           const std::string& lastError);

// The line a run ends with: "queued as ID; it will be sent by tarnwick -flush".
std::string QueuedLine(const std::string& id);

}  // namespace OutboxQueue

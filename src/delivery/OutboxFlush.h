#pragma once
// tarnwick -flush: the outbox's due messages sent, those for one server over
// one connection, each at most once (renamed "sent" the moment the server
// took it); a refusal or an expired lifetime moves a message to the failed
// folder, anything else waits, backing off. tarnwick -outbox lists it.
namespace OutboxFlush {

// The exit status: 0 when every due message went, 75 when one was deferred
// again, 1 when one moved to the failed folder. A second flush while one
// runs ends at once with 0.
int Run();

// The queued and the failed messages, on standard output; 0, or 1 when
// there is no outbox to look in.
int List();

}  // namespace OutboxFlush

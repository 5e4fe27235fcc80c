#pragma once
// tarnwick -login: signs in the way the settings' OAuthGrant says (a code
// shown for another device, the browser with a loopback redirect or a
// pasted address, or the client's own credentials), keeps the tokens, and
// says who is signed in, until when, with which scopes.
#include <atomic>
#include <functional>
#include <string>

namespace OAuthLogin {

// What a person needs to finish a device sign-in elsewhere: the address and
// the code to enter there (and the address with the code in it, if given).
struct DeviceCode {
  std::string uri, code, complete;
};

// Besides standard error, a window may show the code (with a Copy button)
// and end the wait: `cancelled` is looked at between polls.
struct Watcher {
  std::function<void(const DeviceCode&)> showCode;
  const std::atomic<bool>* cancelled = nullptr;
};

// The whole sign-in; its exit status.
int Run(const Watcher& watcher = {});

}  // namespace OAuthLogin

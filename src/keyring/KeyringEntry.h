#pragma once
// The keyring library's entry points, as the program finds them by name:
// plain C, so the program needs neither GLib nor libsecret to call them.
// Every call gives up within its own time limit; strings the library hands
// back are freed with its own free function, which wipes them first.

namespace KeyringEntry {

inline constexpr const char* kFileName = "libtarnwick-keyring.so";

enum Status : int { kFound = 0, kNotFound = 1, kUnavailable = 2, kFailed = 3 };

// int lookup(host, user, char** secret, char** message)
inline constexpr const char* kLookupName = "TarnwickKeyringLookup";
using Lookup = int (*)(const char* host, const char* user, char** secret, char** message);

// int store(host, user, label, secret, char** message); an empty secret
// removes the item.
inline constexpr const char* kStoreName = "TarnwickKeyringStore";
using Store = int (*)(const char* host, const char* user, const char* label, const char* secret,
                      char** message);

// int ping(char** message): kFound when a Secret Service answers.
inline constexpr const char* kPingName = "TarnwickKeyringPing";
using Ping = int (*)(char** message);

inline constexpr const char* kFreeName = "TarnwickKeyringFree";
using Free = void (*)(char* text);

}  // namespace KeyringEntry

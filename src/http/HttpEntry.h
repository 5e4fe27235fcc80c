#pragma once
// The HTTP library's entry point, as the program finds it by name: plain C,
// so the program itself needs no libcurl. One call posts a form and gives
// back the status and the body; strings it hands back are freed (and wiped)
// with its own free function.

namespace HttpEntry {

inline constexpr const char* kFileName = "libtarnwick-http.so";

enum Status : int { kReplied = 0, kNoReply = 1 };

// int post(url, form, caFile ("" for the system's), timeoutMs,
//          long* httpStatus, char** body, char** message)
// kReplied: a reply came, whatever its status; kNoReply: `message` says why.
inline constexpr const char* kPostName = "TarnwickHttpPost";
using Post = int (*)(const char* url, const char* form, const char* caFile, long timeoutMs,
                     long* httpStatus, char** body, char** message);

inline constexpr const char* kFreeName = "TarnwickHttpFree";
using Free = void (*)(char* text);

}  // namespace HttpEntry

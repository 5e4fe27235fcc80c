// libcurl behind HttpEntry's plain C entry points: a form POST with a hard
// time limit, no redirects, http and https only, the system's or a given
// CA file, and the proxies the usual variables name (libcurl reads them).
#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "HttpEntry.h"

namespace {

// A token reply is small; a server that sends more is not one.
constexpr std::size_t kLongestBody = std::size_t{1} << 20U;

char* Copy(const std::string& text) {
  char* out =
      static_cast<char*>(std::malloc(text.size() + 1));  // NOLINT: freed by TarnwickHttpFree
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const std::size_t n = size * count;
  if (body->size() + n > kLongestBody) return 0;  // ends the transfer with an error
  body->append(data, n);
  return n;
}

void Wipe(std::string& text) {
  volatile char* p = text.data();
  for (std::size_t i = 0; i < text.size(); ++i) p[i] = 0;
  text.clear();
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TarnwickHttpPost(
    const char* url, const char* form, const char* caFile, long timeoutMs, long* httpStatus,
    char** body, char** message) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  *httpStatus = 0;
  *body = nullptr;
  *message = nullptr;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    *message = Copy("libcurl could not start");
    return HttpEntry::kNoReply;
  }
  std::string received;
  char error[CURL_ERROR_SIZE] = {};
  curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Tarnwick");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
  if (caFile != nullptr && caFile[0] != '\0') curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
  const CURLcode code = curl_easy_perform(curl);
  int status = HttpEntry::kReplied;
  if (code != CURLE_OK) {
    *message = Copy(error[0] != '\0' ? error : curl_easy_strerror(code));
    status = HttpEntry::kNoReply;
  } else {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, httpStatus);
    *body = Copy(received);
  }
  Wipe(received);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return status;
}

extern "C" __attribute__((visibility("default"))) void TarnwickHttpFree(char* text) {
  if (text == nullptr) return;
  volatile char* p = text;
  for (std::size_t i = 0; text[i] != '\0'; ++i) p[i] = 0;
  std::free(text);  // NOLINT: allocated by Copy
}

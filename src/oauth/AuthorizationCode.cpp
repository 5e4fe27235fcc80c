#include "AuthorizationCode.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <system_error>

#include "TokenEndpoint.h"

namespace AuthorizationCode {
namespace {

std::string Base64Url(const unsigned char* data, std::size_t size) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out;
  for (std::size_t i = 0; i < size; i += 3) {
    const unsigned int n = (static_cast<unsigned int>(data[i]) << 16U) |
                           (i + 1 < size ? static_cast<unsigned int>(data[i + 1]) << 8U : 0U) |
                           (i + 2 < size ? static_cast<unsigned int>(data[i + 2]) : 0U);
    out += kAlphabet[(n >> 18U) & 63U];
    out += kAlphabet[(n >> 12U) & 63U];
    if (i + 1 < size) out += kAlphabet[(n >> 6U) & 63U];
    if (i + 2 < size) out += kAlphabet[n & 63U];
  }
  return out;
}

std::string RandomText(std::size_t bytes) {
  std::array<unsigned char, 64> random{};
  if (RAND_bytes(random.data(), static_cast<int>(bytes)) != 1)
    throw std::runtime_error("RAND_bytes");
  return Base64Url(random.data(), bytes);
}

std::string ErrorText() { return std::error_code(errno, std::generic_category()).message(); }

// The request line's target: "GET /?code=x&state=y HTTP/1.1" gives the query.
std::string RequestTarget(const std::string& request) {
  const auto space = request.find(' ');
  if (space == std::string::npos) return {};
  const auto end = request.find(' ', space + 1);
  return request.substr(space + 1, end == std::string::npos ? end : end - space - 1);
}

constexpr const char* kPage =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nConnection: close\r\n\r\n"
    "Tarnwick has the answer; this window may be closed.\r\n";

}  // namespace

std::string ChallengeOf(const std::string& verifier) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  EVP_Digest(verifier.data(), verifier.size(), digest.data(), &size, EVP_sha256(), nullptr);
  return Base64Url(digest.data(), size);
}

Pkce MakePkce() {
  Pkce pkce;
  pkce.verifier = RandomText(48);  // 64 characters, within RFC 7636's 43 to 128
  pkce.challenge = ChallengeOf(pkce.verifier);
  pkce.state = RandomText(16);
  return pkce;
}

std::string AuthorizeUrl(const OAuthConfig& config, const std::string& redirectUri,
                         const Pkce& pkce) {
  TokenEndpoint::Form form = {{"response_type", "code"},
                              {"client_id", config.clientId},
                              {"redirect_uri", redirectUri},
                              {"scope", config.scope},
                              {"code_challenge", pkce.challenge},
                              {"code_challenge_method", "S256"},
                              {"state", pkce.state}};
  // Google gives a refresh token only when asked for offline access.
  if (config.provider == "google") {
    form.emplace_back("access_type", "offline");
    form.emplace_back("prompt", "consent");
  }
  const char joiner = config.authorizeUrl.find('?') == std::string::npos ? '?' : '&';
  return config.authorizeUrl + joiner + TokenEndpoint::Encode(form);
}

Answer ReadAnswer(const std::string& address) {
  Answer answer;
  const auto question = address.find('?');
  std::string query = question == std::string::npos ? address : address.substr(question + 1);
  query = query.substr(0, query.find('#'));
  std::size_t at = 0;
  while (at <= query.size()) {
    const auto end = std::min(query.find('&', at), query.size());
    const std::string pair = query.substr(at, end - at);
    const auto equals = pair.find('=');
    const std::string name = pair.substr(0, equals);
    const std::string value =
        equals == std::string::npos ? "" : TokenEndpoint::PercentDecode(pair.substr(equals + 1));
    if (name == "code") answer.code = value;
    if (name == "state") answer.state = value;
    if (name == "error") answer.error = value;
    if (name == "error_description") answer.description = value;
    at = end + 1;
  }
  return answer;
}

Listener::~Listener() {
  if (fd_ >= 0) ::close(fd_);
}

int Listener::Open(std::string& problem) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd_, 4) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    problem = "no port on 127.0.0.1 can take the browser's answer: " + ErrorText();
    return 0;
  }
  return ntohs(address.sin_port);
}

std::optional<Answer> Listener::Wait(int input, const std::string& state, int seconds,
                                     const std::atomic<bool>* cancelled, std::string& problem) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::string typed;
  bool inputOpen = input >= 0;
  // Short polls, so a cancel is seen soon.
  constexpr long kStepMs = 200;
  while (Clock::now() < end) {
    if (cancelled != nullptr && *cancelled) {
      problem = "the sign-in was cancelled";
      return std::nullopt;
    }
    pollfd fds[2] = {{fd_, POLLIN, 0}, {inputOpen ? input : -1, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    const int ready = ::poll(fds, 2, static_cast<int>(std::clamp<long>(left.count(), 0, kStepMs)));
    if (ready < 0 && errno != EINTR) break;
    if ((fds[0].revents & POLLIN) != 0) {
      const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string request;
      char buffer[2048];
      pollfd one = {client, POLLIN, 0};
      // A browser sends its request at once; a silent client is dropped.
      while (request.find("\r\n") == std::string::npos && request.size() < 16384 &&
             ::poll(&one, 1, 1000) > 0) {
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      const Answer answer = ReadAnswer(RequestTarget(request));
      if (answer.state == state && (!answer.code.empty() || !answer.error.empty())) {
        [[maybe_unused]] const ssize_t sent =
            ::write(client, kPage, std::char_traits<char>::length(kPage));
        ::close(client);
        return answer;
      }
      ::close(client);  // a favicon request and the like
    }
    if (inputOpen && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
      char buffer[4096];
      const ssize_t n = ::read(input, buffer, sizeof buffer);
      if (n <= 0) {
        inputOpen = false;
        continue;
      }
      typed.append(buffer, static_cast<std::size_t>(n));
      const auto newline = typed.find('\n');
      if (newline != std::string::npos) {
        const Answer answer = ReadAnswer(typed.substr(0, newline));
        if (!answer.code.empty() || !answer.error.empty()) return answer;  // checked by the caller
        typed.erase(0, newline + 1);
      }
    }
  }
  problem = "no answer came from the browser within " + std::to_string(seconds / 60) + " minutes";
  return std::nullopt;
}

}  // namespace AuthorizationCode

#include "TokenEndpoint.h"

#include <cctype>
#include <cstring>
#include <nlohmann/json.hpp>

#include "HttpEntry.h"
#include "ModuleLoader.h"

namespace TokenEndpoint {
namespace {

constexpr long kTimeoutMs = 30'000;

struct Library {
  HttpEntry::Post post = nullptr;
  HttpEntry::Free free = nullptr;
  std::string problem;
};

const Library& Load() {
  static const Library loaded = [] {
    Library library;
    void* handle = ModuleLoader::Open(HttpEntry::kFileName, library.problem);
    if (handle == nullptr) {
      library.problem =
          "OAuth2 tokens cannot be fetched: " + library.problem + " (libcurl4 must be installed).";
      return library;
    }
    library.post = ModuleLoader::Symbol<HttpEntry::Post>(handle, HttpEntry::kPostName);
    library.free = ModuleLoader::Symbol<HttpEntry::Free>(handle, HttpEntry::kFreeName);
    if (library.post == nullptr || library.free == nullptr)
      library.problem = std::string(HttpEntry::kFileName) + " lacks its entry points.";
    return library;
  }();
  return loaded;
}

std::string Take(const Library& library, char* text) {
  std::string taken = text != nullptr ? text : "";
  library.free(text);
  return taken;
}

std::string Text(const nlohmann::json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_number_integer()) return std::to_string(value.get<std::int64_t>());
  if (value.is_number()) return std::to_string(static_cast<std::int64_t>(value.get<double>()));
  return {};
}

// The host part of a URL, for messages.
std::string HostOf(const std::string& url) {
  const auto start = url.find("://");
  const std::string rest = start == std::string::npos ? url : url.substr(start + 3);
  return rest.substr(0, rest.find('/'));
}

void Read(const std::string& body, Reply& reply) {
  const nlohmann::json json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    reply.kind = Reply::Kind::Broken;
    return;
  }
  for (const auto& [name, value] : json.items()) reply.fields.emplace_back(name, Text(value));
  reply.error = reply.Field("error");
  reply.description = reply.Field("error_description");
  if (!reply.error.empty()) {
    reply.kind = Reply::Kind::Error;
    return;
  }
  reply.accessToken = reply.Field("access_token");
  reply.refreshToken = reply.Field("refresh_token");
  reply.scope = reply.Field("scope");
  const std::string expires = reply.Field("expires_in");
  reply.expiresIn = expires.empty() ? 3600 : std::strtoll(expires.c_str(), nullptr, 10);
  reply.kind = reply.accessToken.empty() ? Reply::Kind::Other : Reply::Kind::Tokens;
}

}  // namespace

std::string Reply::Field(const std::string& name) const {
  for (const auto& [key, value] : fields) {
    if (key == name) return value;
  }
  return {};
}

std::string Encode(const Form& form) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const auto& [name, value] : form) {
    if (!out.empty()) out += '&';
    for (const std::string* part : {&name, &value}) {
      for (const char c : *part) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            b == '-' || b == '.' || b == '_' || b == '~') {
          out += c;
        } else {
          out += '%';
          out += kHex[b >> 4U];
          out += kHex[b & 15U];
        }
      }
      if (part == &name) out += '=';
    }
  }
  return out;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(text[i + 1]) != 0 &&
               std::isxdigit(text[i + 2]) != 0) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool NeedsSignIn(const Reply& reply) {
  return reply.kind == Reply::Kind::Error &&
         (reply.error == "invalid_grant" || reply.error == "interaction_required" ||
          reply.error == "consent_required" || reply.error == "login_required");
}

Reply Post(const std::string& url, const Form& form, const std::string& caFile) {
  Reply reply;
  const Library& library = Load();
  if (library.post == nullptr) {
    reply.kind = Reply::Kind::Broken;
    reply.problem = library.problem;
    return reply;
  }
  std::string encoded = Encode(form);
  long status = 0;
  char* body = nullptr;
  char* message = nullptr;
  const int result = library.post(url.c_str(), encoded.c_str(), caFile.c_str(), kTimeoutMs, &status,
                                  &body, &message);
  ::explicit_bzero(encoded.data(), encoded.size());  // it may hold a secret or a token
  const std::string said = Take(library, message);
  std::string text = Take(library, body);
  reply.httpStatus = status;
  const std::string host = HostOf(url);
  if (result != HttpEntry::kReplied) {
    reply.kind = Reply::Kind::Temporary;
    reply.problem = "the authorization server " + host + " does not answer (" + said + ")";
    return reply;
  }
  Read(text, reply);
  ::explicit_bzero(text.data(), text.size());
  if (status >= 500 || status == 429) {
    reply.kind = Reply::Kind::Temporary;
    reply.problem = "the authorization server " + host + " answered HTTP " +
                    std::to_string(status) + "; try again later";
  } else if (reply.kind == Reply::Kind::Broken) {
    reply.problem = "the authorization server " + host + " answered HTTP " +
                    std::to_string(status) + " with something that is no JSON object";
  } else if (reply.kind == Reply::Kind::Error) {
    reply.problem = "the authorization server " + host + " said " + reply.error;
  } else if (reply.kind == Reply::Kind::Other) {
    // What a device endpoint sends; from a token endpoint it is a failure.
    reply.problem = "the authorization server " + host + " answered without an access token";
  } else if (status != 200) {
    reply.kind = Reply::Kind::Broken;
    reply.problem = "the authorization server " + host + " answered HTTP " + std::to_string(status);
  }
  return reply;
}

}  // namespace TokenEndpoint

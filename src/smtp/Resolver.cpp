#include "Resolver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <thread>

struct Resolver::Shared {
  std::mutex mutex;
  bool done = false;
  std::vector<Address> addresses;
  std::string error;
  bool tryLater = false;
  int pipe[2] = {-1, -1};
  ~Shared() {
    for (const int fd : pipe) {
      if (fd >= 0) ::close(fd);
    }
  }
};

Resolver::Resolver(const std::string& host, int port) : shared_(std::make_shared<Shared>()) {
  if (::pipe2(shared_->pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    shared_->done = true;
    shared_->error = "no pipe for the name lookup";
    return;
  }
  std::thread([shared = shared_, host, port] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    std::vector<Address> addresses;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(a->ai_addr);
      addresses.push_back({a->ai_family, {bytes, bytes + a->ai_addrlen}});
    }
    if (found != nullptr) ::freeaddrinfo(found);
    const std::lock_guard lock(shared->mutex);
    shared->done = true;
    shared->addresses = std::move(addresses);
    if (rc != 0) shared->error = ::gai_strerror(rc);
    shared->tryLater = rc == EAI_AGAIN || rc == EAI_SYSTEM;
    if (rc == 0 && shared->addresses.empty()) shared->error = "no address";
    const char byte = 1;
    (void)!::write(shared->pipe[1], &byte, 1);
  }).detach();
}

Resolver::~Resolver() = default;

int Resolver::ReadyFd() const { return shared_->pipe[0]; }

bool Resolver::Done() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->done;
}

std::vector<Resolver::Address> Resolver::Addresses() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->addresses;
}

bool Resolver::TryLater() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->tryLater;
}

std::string Resolver::Error() const {
  const std::lock_guard lock(shared_->mutex);
  return shared_->error;
}

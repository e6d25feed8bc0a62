#include "platform/socket.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/detached_thread.h"

namespace travik::net {
namespace {

std::string TextOf(int code) {
  const char* text = SocketErrorText(code);
  return text != nullptr ? text : "";
}

[[noreturn]] void RaiseLast() {
  throw SocketError(shim::LastError());
}

// One look-up on its helper thread. The helper and the waiting caller share it; whichever ends
// last frees it, so a caller that walks away leaves the helper nothing dangling.
struct LookUpTask {
  std::string host;
  LookUp look_up;
  std::mutex mutex;
  std::condition_variable_any finished;
  bool done = false;
  std::optional<Ipv4Address> address;

  void Run() {
    std::optional<Ipv4Address> found;
    try {
      const SocketLibrary library;  // its own start-up reference: it may outlive the caller's
      found = look_up(host);
    } catch (...) {
      // A look-up that fails in any way finds no address.
    }
    {
      const std::lock_guard<std::mutex> lock(mutex);
      address = found;
      done = true;
    }
    finished.notify_all();
  }
};

}  // namespace

SocketError::SocketError(int code) : SocketError(code, TextOf(code)) {}

SocketError::SocketError(int code, std::string text)
    : Error("Socket Error # " + std::to_string(code) + "\r\n" + text),
      code_(code),
      text_(std::move(text)) {}

SocketLibrary::SocketLibrary() {
  if (!shim::Startup()) throw Error("Windows Sockets could not be started");
}

SocketLibrary::~SocketLibrary() {
  shim::Cleanup();
}

std::optional<Ipv4Address> SystemLookUp(const std::string& host) {
  return shim::ResolveFirstIpv4(host);
}

Ipv4Address ResolveIpv4(const std::string& host, const LookUp& look_up,
                        const std::stop_token& stop) {
  if (const std::optional<Ipv4Address> literal = shim::ParseIpv4(host)) return *literal;
  if (stop.stop_requested()) throw CancelledError();
  auto task = std::make_shared<LookUpTask>();
  task->host = host;
  task->look_up = look_up;
  try {
    // The one thread the program does not join: a look-up cannot be cut short, so a cancelled
    // caller leaves it to end by itself. It touches nothing but its task.
    StartDetachedThread([task] { task->Run(); });
  } catch (const std::system_error&) {
    task->Run();  // no thread to be had: look up here, uncancellable but answered
  }
  std::unique_lock<std::mutex> lock(task->mutex);
  // Woken by the helper's answer, or at once by a stop request.
  if (!task->finished.wait(lock, stop, [&task] { return task->done; })) throw CancelledError();
  if (!task->address) throw SocketError(kErrHostNotFound);
  return *task->address;
}

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, shim::kInvalid)),
      connected_(std::exchange(other.connected_, false)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, shim::kInvalid);
    connected_ = std::exchange(other.connected_, false);
  }
  return *this;
}

Socket Socket::OpenTcp() {
  const shim::Handle handle = shim::OpenTcp();
  if (handle == shim::kInvalid) RaiseLast();
  return Socket(handle);
}

bool Socket::Connect(const Ipv4Address& address, std::uint16_t port, const std::stop_token& stop,
                     std::optional<Clock::time_point> deadline) {
  if (!shim::SetBlocking(handle_, false)) RaiseLast();
  const int code = shim::Connect(handle_, address, port);
  if (code != 0) {
    if (!shim::InProgress(code)) throw SocketError(code);
    for (;;) {
      if (stop.stop_requested()) throw CancelledError();
      long long slice = kWaitSliceMs;
      if (deadline) {
        const long long left = MillisecondsLeft(*deadline);
        if (left <= 0) return false;
        slice = std::min(slice, left);
      }
      const int ready = shim::Wait(handle_, true, static_cast<int>(slice));
      if (ready < 0) RaiseLast();
      if (ready > 0) break;
    }
    if (const int error = shim::PendingError(handle_); error != 0) throw SocketError(error);
  }
  if (!shim::SetBlocking(handle_, true)) RaiseLast();
  connected_ = true;
  return true;
}

bool Socket::IsOpen() {
  if (!Valid() || !connected_) return false;
  // Bounded: a peer that keeps sending cannot hold the check; after this much it counts as open.
  constexpr int kMaxDrains = 64;
  char sink[4096];
  for (int i = 0; i < kMaxDrains; ++i) {
    const int ready = shim::Wait(handle_, false, 0);
    if (ready == 0) return true;
    if (ready < 0) return false;
    if (shim::Receive(handle_, sink, sizeof sink) <= 0) return false;  // orderly close or error
  }
  return true;
}

bool Socket::WaitReadable(Clock::time_point deadline, const std::stop_token& stop) {
  for (;;) {
    if (stop.stop_requested()) throw CancelledError();
    const long long left = MillisecondsLeft(deadline);
    const int slice = static_cast<int>(std::clamp<long long>(left, 0, kWaitSliceMs));
    const int ready = shim::Wait(handle_, false, slice);
    if (ready < 0) RaiseLast();
    if (ready > 0) return true;
    if (left <= kWaitSliceMs) return false;
  }
}

std::size_t Socket::Receive(char* buffer, std::size_t size) {
  const std::ptrdiff_t got = shim::Receive(handle_, buffer, size);
  if (got < 0) RaiseLast();
  return static_cast<std::size_t>(got);
}

void Socket::SendAll(std::string_view data) {
  while (!data.empty()) {
    const std::ptrdiff_t sent = shim::Send(handle_, data.data(), data.size());
    if (sent < 0) RaiseLast();
    data.remove_prefix(static_cast<std::size_t>(sent));
  }
}

std::string Socket::PeerAddress() const {
  if (!Valid()) return {};
  const std::optional<Ipv4Address> peer = shim::PeerAddress(handle_);
  return peer ? peer->ToString() : std::string();
}

void Socket::Close() noexcept {
  if (Valid()) shim::Close(handle_);
  handle_ = shim::kInvalid;
  connected_ = false;
}

}  // namespace travik::net

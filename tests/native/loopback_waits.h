#pragma once
// Waits for the tests of the network clients, on 127.0.0.1 only.
//   FullBacklogListener  a listener whose queue is full: a further connect gets no answer and
//                        hangs until the connecting side gives up, or until the listener is
//                        closed (the connect is then refused at its next try);
//   CancelAfter          sets a CancelFlag from another thread after a while.
#include <chrono>
#include <cstdint>
#include <thread>

#include "platform/cancel.h"
#include "platform/socket.h"
#include "tests/native/loopback_listener.h"

namespace travik::test {

class FullBacklogListener {
  using CancelFlag = net::CancelFlag;

 public:
  FullBacklogListener() {
    net::Ipv4Address loopback;
    loopback.octets = {127, 0, 0, 1};
    const CancelFlag never{false};
    (void)filler_.Connect(loopback, listener_.Port(), never);  // takes the one place in the queue
  }
  [[nodiscard]] std::uint16_t Port() const { return port_; }
  // Closes the listener and the connection in its queue: what still tries to connect is refused.
  void Close() noexcept {
    listener_.Close();
    filler_.Close();
  }

 private:
  net::SocketLibrary library_;
  test::Listener listener_ = test::Listener::OnLoopback(0, 0);
  net::Socket filler_ = net::Socket::OpenTcp();
  std::uint16_t port_ = listener_.Port();
};

// Sets `flag` after `after_ms`; the thread is joined when this goes out of scope.
class CancelAfter {
 public:
  CancelAfter(net::CancelFlag& flag, int after_ms)
      : thread_([&flag, after_ms] {
          std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
          flag.store(true);
        }) {}
  ~CancelAfter() { thread_.join(); }
  CancelAfter(const CancelAfter&) = delete;
  CancelAfter& operator=(const CancelAfter&) = delete;

 private:
  std::thread thread_;
};

}  // namespace travik::test

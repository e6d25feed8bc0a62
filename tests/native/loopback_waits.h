#pragma once
// Waits for the tests of the network clients, on 127.0.0.1 only.
//   FullBacklogListener  a listener whose queue is full: a further connect gets no answer and
//                        hangs until the connecting side gives up, or until the listener is
//                        closed (the connect is then refused at its next try);
//   StopAfter            asks a stop source to stop, from another thread, after a while.
#include <chrono>
#include <cstdint>
#include <stop_token>
#include <thread>

#include "platform/socket.h"
#include "tests/native/loopback_listener.h"

namespace travik::test {

class FullBacklogListener {
 public:
  FullBacklogListener() {
    test::ConnectOnLoopback(filler_, listener_.Port());  // takes the one place in the queue
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

// Asks `source` to stop after `after_ms`; the thread is joined when this goes out of scope.
class StopAfter {
 public:
  StopAfter(std::stop_source source, int after_ms)
      : thread_([source, after_ms]() mutable {
          std::this_thread::sleep_for(std::chrono::milliseconds(after_ms));
          source.request_stop();
        }) {}

 private:
  std::jthread thread_;
};

}  // namespace travik::test

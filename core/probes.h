#pragma once
// The two network probes the check run uses, behind small interfaces: the real ones are the
// socket layer's TCP client and the FTP client; tests hand in fakes. The probes of a run go side
// by side, so the run makes a client for each (ProbeClients); a client is used on one thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/ftp_client.h"
#include "platform/tcp_client.h"

namespace travik::core {

// IdTCPClient1: one connection attempt, an open check that does not wait, a disconnect.
class TcpProbeClient {
 public:
  virtual ~TcpProbeClient() = default;
  // Resolves `host` and connects once; raises travik::Error (net::SocketError for socket errors,
  // CancelledError once a stop is requested).
  virtual void Connect(const std::string& host, std::uint16_t port, std::stop_token stop) = 0;
  // Connected, with neither an orderly close nor an error pending.
  [[nodiscard]] virtual bool Connected() = 0;
  virtual void Disconnect() noexcept = 0;
};

// IdFTP1: connect and log in. Returns the reply that accepted the login; raises travik::Error
// (net::FtpReplyError for a reply that was turned down, CancelledError once a stop is requested)
// with the connection closed.
class FtpProbeClient {
 public:
  virtual ~FtpProbeClient() = default;
  virtual std::optional<net::FtpReply> Connect(const net::FtpSettings& settings,
                                               std::stop_token stop) = 0;
  // Ends a session whose login succeeded.
  virtual void Disconnect() noexcept = 0;
};

// The real probes, over the socket layer.
class SocketTcpProbe final : public TcpProbeClient {
 public:
  explicit SocketTcpProbe(net::LookUp look_up = net::SystemLookUp) : client_(std::move(look_up)) {}
  void Connect(const std::string& host, std::uint16_t port, std::stop_token stop) override {
    client_.Connect(host, port, stop);
  }
  [[nodiscard]] bool Connected() override { return client_.Connected(); }
  void Disconnect() noexcept override { client_.Disconnect(); }

 private:
  net::TcpClient client_;
};

class SocketFtpProbe final : public FtpProbeClient {
 public:
  explicit SocketFtpProbe(net::LookUp look_up = net::SystemLookUp) : client_(std::move(look_up)) {}
  std::optional<net::FtpReply> Connect(const net::FtpSettings& settings,
                                       std::stop_token stop) override {
    client_.Connect(settings, stop);
    return client_.LoginReply();
  }
  void Disconnect() noexcept override { client_.Disconnect(); }

 private:
  net::FtpClient client_;
};

// How a run makes its clients: one for each TCP probe, one for the FTP probe. Called on the run's
// own thread.
struct ProbeClients {
  std::function<std::unique_ptr<TcpProbeClient>()> tcp;
  std::function<std::unique_ptr<FtpProbeClient>()> ftp;
};

// The real clients, every name looked up through `look_up`.
[[nodiscard]] ProbeClients SocketProbeClients(const net::LookUp& look_up);

}  // namespace travik::core

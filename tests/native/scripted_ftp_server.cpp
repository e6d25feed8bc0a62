#include "tests/native/scripted_ftp_server.h"

#include <exception>
#include <utility>

namespace travik::test {
namespace {

constexpr int kLookEveryMs = 20;
constexpr int kPauseMs = 50;
constexpr std::size_t kMaxCommandBytes = 64 * 1024;
// Clients that connect while a session is served wait in the backlog, many programs at once.
constexpr int kBacklog = 128;
constexpr char kClose[] = "<close>";
constexpr char kAbort[] = "<abort>";
constexpr char kFin[] = "<fin>";
constexpr char kSilent[] = "<silent>";
constexpr char kPause[] = "<pause";  // "<pause>" or "<pause:MS>"

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A stretch of an entry's text and the pause that follows it (0: none).
struct Piece {
  std::string text;
  int pause_ms = 0;
};

// The length of a pause marker at `at` and its milliseconds, or 0 when there is none there.
std::size_t PauseMarker(const std::string& text, std::size_t at, int& pause_ms) {
  if (text.compare(at, sizeof kPause - 1, kPause) != 0) return 0;
  std::size_t i = at + sizeof kPause - 1;
  if (i < text.size() && text[i] == '>') {
    pause_ms = kPauseMs;
    return i + 1 - at;
  }
  if (i >= text.size() || text[i] != ':') return 0;
  int ms = 0;
  std::size_t digits = 0;
  for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 6; ++i, ++digits) {
    ms = ms * 10 + (text[i] - '0');
  }
  if (digits == 0 || i >= text.size() || text[i] != '>') return 0;
  pause_ms = ms;
  return i + 1 - at;
}

// Cuts an entry at its pause markers; the line end is added to the last stretch of text, so that
// pauses at the end of an entry come after it.
std::vector<Piece> SplitAtPauses(const std::string& text) {
  std::vector<Piece> pieces(1);
  for (std::size_t i = 0; i < text.size();) {
    int pause_ms = 0;
    if (const std::size_t length = PauseMarker(text, i, pause_ms)) {
      pieces.back().pause_ms = pause_ms;
      pieces.emplace_back();
      i += length;
    } else {
      pieces.back().text += text[i++];
    }
  }
  for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
    if (piece->text.empty()) continue;
    if (!EndsWith(piece->text, "\n")) piece->text += "\r\n";
    break;
  }
  return pieces;
}

}  // namespace

ScriptedFtpServer::ScriptedFtpServer(std::vector<Script> sessions, int deadline_ms)
    : listener_(test::Listener::OnLoopback(0, kBacklog)),
      port_(listener_.Port()),
      sessions_(std::move(sessions)),
      deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms)) {
  thread_ = std::thread([this] { Run(); });
}

ScriptedFtpServer::~ScriptedFtpServer() {
  Stop();
}

void ScriptedFtpServer::Stop() {
  // Every wait of the thread looks at stop_ at least every kLookEveryMs.
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

std::vector<std::vector<std::string>> ScriptedFtpServer::Commands() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}

int ScriptedFtpServer::Accepted() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(commands_.size());
}

bool ScriptedFtpServer::Expired() const {
  return stop_.load() || std::chrono::steady_clock::now() >= deadline_;
}

void ScriptedFtpServer::Run() {
  try {
    for (std::size_t index = 0; index < sessions_.size(); ++index) {
      TestSocket socket;
      while (!socket.Valid() && !Expired()) socket = listener_.Accept(kLookEveryMs);
      if (!socket.Valid()) break;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        commands_.emplace_back();
      }
      try {
        RunSession(socket, sessions_[index], index);
      } catch (const std::exception&) {
        // The client went away in a way the script did not foresee; the session is over.
      }
    }
  } catch (const std::exception&) {
    // Nothing more to serve.
  }
  listener_.Close();
  finished_.store(true);
}

bool ScriptedFtpServer::SendEntry(TestSocket& socket, const std::string& entry, bool* half_closed) {
  std::string text = entry;
  bool close_after = false;
  bool abort_after = false;
  if (EndsWith(text, kFin)) {
    text.resize(text.size() - (sizeof kFin - 1));
    socket.SendAllThenFin(EndsWith(text, "\n") ? text : text + "\r\n");
    if (half_closed != nullptr) *half_closed = true;
    return true;
  }
  if (EndsWith(text, kClose)) {
    text.resize(text.size() - (sizeof kClose - 1));
    close_after = true;
  } else if (EndsWith(text, kAbort)) {
    text.resize(text.size() - (sizeof kAbort - 1));
    abort_after = true;
  }
  if (text == kSilent) return true;
  for (const Piece& piece : SplitAtPauses(text)) {
    if (!piece.text.empty()) socket.SendAll(piece.text);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(piece.pause_ms);
    while (std::chrono::steady_clock::now() < until && !Expired()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (Expired()) return false;  // past the deadline nothing more is sent
  }
  if (abort_after) {
    // Closing with the next command unread makes the close an abortive one: a reset.
    while (!Expired() && !test::WaitReadable(socket, kLookEveryMs)) {
    }
    return false;
  }
  return !close_after;
}

void ScriptedFtpServer::RunSession(TestSocket& socket, const Script& script, std::size_t index) {
  bool half_closed = false;  // after "<fin>": record what comes, answer nothing
  if (script.empty() || !SendEntry(socket, script[0], &half_closed)) return;
  std::size_t next = 1;
  std::string buffer;
  while (!Expired()) {
    if (!test::WaitReadable(socket, kLookEveryMs)) continue;
    char chunk[1024];
    const std::size_t got = socket.Receive(chunk, sizeof chunk);
    if (got == 0) return;
    buffer.append(chunk, got);
    for (std::size_t lf = buffer.find('\n'); lf != std::string::npos; lf = buffer.find('\n')) {
      std::string line = buffer.substr(0, lf);
      buffer.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        commands_[index].push_back(line);
      }
      if (half_closed) continue;
      if (next < script.size()) {
        if (!SendEntry(socket, script[next++], &half_closed)) return;
      } else if (line == "QUIT") {
        SendEntry(socket, "221 Goodbye.");
        return;
      }
    }
    if (buffer.size() > kMaxCommandBytes) return;
  }
}

}  // namespace travik::test

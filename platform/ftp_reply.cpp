#include "platform/ftp_reply.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace travik::net {
namespace {

// The reply code a line begins with, or -1 when it begins with no three digits.
int LeadingCode(const std::string& line) {
  if (line.size() < 3) return -1;
  int code = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const char c = line[i];
    if (c < '0' || c > '9') return -1;
    code = code * 10 + (c - '0');
  }
  return code;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Error texts are UTF-8; a byte of the server's that does not fit in it becomes U+FFFD.
std::string AsUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const unsigned char c = byte(i + k);
      valid = k == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
    }
    if (valid) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

}  // namespace

FtpClosedError::FtpClosedError() : FtpError("Connection Closed Gracefully.") {}

std::string LineReader::ReadLine(std::optional<Clock::time_point> deadline, std::size_t* consumed) {
  constexpr std::size_t kChunk = 4096;
  const Clock::time_point until = deadline ? *deadline : DeadlineFromNow();
  for (;;) {
    const std::size_t lf = buffer_.find('\n', start_ + scanned_);
    if (lf != std::string::npos) {
      std::size_t end = lf;
      if (end > start_ && buffer_[end - 1] == '\r') --end;
      if (end - start_ > kMaxReplyLineBytes) throw FtpProtocolError("Reply line too long.");
      std::string line = buffer_.substr(start_, end - start_);
      if (consumed != nullptr) *consumed = lf + 1 - start_;
      start_ = lf + 1;
      scanned_ = 0;
      if (start_ == buffer_.size()) Discard();
      return line;
    }
    scanned_ = buffer_.size() - start_;
    // One byte more than the cap: it may be the CR before the LF still to come.
    if (scanned_ > kMaxReplyLineBytes + 1) throw FtpProtocolError("Reply line too long.");
    if (start_ > 0) {
      buffer_.erase(0, start_);
      start_ = 0;
    }
    // The wait is what is left until the deadline, never more: data that comes does not make
    // the line's time longer.
    const long long left = MillisecondsLeft(until);
    if (left <= 0) throw FtpError("Read timed out.");
    const int wait_ms = static_cast<int>(std::min<long long>(left, INT_MAX));
    char chunk[kChunk];
    const std::optional<std::size_t> got = stream_.Read(chunk, sizeof chunk, wait_ms);
    if (!got) {
      if (wait_ms >= left) throw FtpError("Read timed out.");
      continue;  // a deadline too far for one wait: wait again
    }
    if (*got == 0) throw FtpClosedError();
    buffer_.append(chunk, std::min(*got, sizeof chunk));
  }
}

void LineReader::Discard() noexcept {
  buffer_.clear();
  start_ = 0;
  scanned_ = 0;
}

FtpReply ReadReply(LineReader& reader, std::optional<Clock::time_point> deadline) {
  // One deadline for all the lines: the reply as a whole must be complete by then.
  const Clock::time_point until = deadline ? *deadline : reader.DeadlineFromNow();
  std::size_t total = 0;
  // Every round takes at least one byte and counts it, so the byte cap ends the loop.
  const auto next_line = [&]() {
    for (;;) {
      std::size_t used = 0;
      std::string line = reader.ReadLine(until, &used);
      total += used;
      if (total > kMaxReplyBytes) throw FtpProtocolError("Reply too long.");
      if (!line.empty()) return line;
    }
  };

  FtpReply reply;
  std::string line = next_line();
  reply.code = LeadingCode(line);
  if (reply.code < 0 || (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
    throw FtpProtocolError("Invalid reply.");
  }
  const bool multi_line = line.size() > 3 && line[3] == '-';
  reply.lines.push_back(std::move(line));
  while (multi_line) {
    line = next_line();
    if (reply.lines.size() >= kMaxReplyLines) throw FtpProtocolError("Reply too long.");
    const bool last = LeadingCode(line) == reply.code && line.size() > 3 && line[3] == ' ';
    reply.lines.push_back(std::move(line));
    if (last) break;
  }
  return reply;
}

std::string ReplyText(const FtpReply& reply) {
  std::string text;
  for (const std::string& line : reply.lines) {
    if (LeadingCode(line) == reply.code) {
      text.append(line, std::min<std::size_t>(line.size(), 4));
    } else {
      std::size_t first = 0;
      while (first < line.size() && IsBlank(line[first])) ++first;
      text.append(line, first);
    }
    text += "\r\n";
  }
  return AsUtf8(text);
}

bool IsLoginRejection(const std::string& error_text) {
  static constexpr char kLogin[] = "login";
  if (error_text.size() < 5) return false;
  for (std::size_t i = 0; i < 5; ++i) {
    char c = error_text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kLogin[i]) return false;
  }
  return true;
}

}  // namespace travik::net

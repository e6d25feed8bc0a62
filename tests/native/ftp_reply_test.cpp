// The line reader and reply parser of the FTP client, fed with scripted bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ftp_reply.h"

namespace travik::net {
namespace {

// Hands out the chunks one per read (cut further when the reader asks for less), then reports
// an orderly close or, with `silent_at_end`, nothing in time (after waiting up to 50 ms).
class ScriptedStream : public ByteStream {
 public:
  explicit ScriptedStream(std::vector<std::string> chunks, bool silent_at_end = false)
      : chunks_(std::move(chunks)), silent_at_end_(silent_at_end) {}

  std::optional<std::size_t> Read(char* buffer, std::size_t size, int timeout_ms) override {
    waits_.push_back(timeout_ms);
    while (next_ < chunks_.size() && offset_ == chunks_[next_].size()) {
      ++next_;
      offset_ = 0;
    }
    if (next_ < chunks_.size()) {
      const std::size_t count = std::min(size, chunks_[next_].size() - offset_);
      std::memcpy(buffer, chunks_[next_].data() + offset_, count);
      offset_ += count;
      return count;
    }
    if (!silent_at_end_) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout_ms, 50)));
    return std::nullopt;
  }

  [[nodiscard]] const std::vector<int>& Waits() const { return waits_; }

 private:
  std::vector<std::string> chunks_;
  bool silent_at_end_;
  std::size_t next_ = 0;
  std::size_t offset_ = 0;
  std::vector<int> waits_;
};

// Repeats a pattern and counts what it has handed out; after 4 MiB, far past every cap, it reports
// a close, so that a reader without caps ends too.
class EndlessStream : public ByteStream {
 public:
  EndlessStream(std::string prefix, std::string pattern)
      : prefix_(std::move(prefix)), pattern_(std::move(pattern)) {}

  std::optional<std::size_t> Read(char* buffer, std::size_t size, int) override {
    if (delivered_ >= 4 * 1024 * 1024) return 0;
    for (std::size_t i = 0; i < size; ++i, ++delivered_) {
      buffer[i] = delivered_ < prefix_.size()
                      ? prefix_[delivered_]
                      : pattern_[(delivered_ - prefix_.size()) % pattern_.size()];
    }
    return size;
  }
  [[nodiscard]] std::size_t Delivered() const { return delivered_; }

 private:
  std::string prefix_;
  std::string pattern_;
  std::size_t delivered_ = 0;
};

struct ReplyCase {
  const char* name;
  std::vector<std::string> chunks;
  int code;
  std::vector<std::string> lines;
  std::string text;  // ReplyText
};

TEST(FtpReadReply, FramesRepliesAndWordsTheirText) {
  const std::string long_line = "220 " + std::string(kMaxReplyLineBytes - 4, 'x');
  const std::vector<ReplyCase> cases = {
      {"single line",
       {"530 Login incorrect.\r\n"},
       530,
       {"530 Login incorrect."},
       "Login incorrect.\r\n"},
      {"code alone", {"220\r\n"}, 220, {"220"}, "\r\n"},
      {"bare LF",
       {"331 Password required\n"},
       331,
       {"331 Password required"},
       "Password required\r\n"},
      {"CR inside a line stays", {"500 a\rb\r\n"}, 500, {"500 a\rb"}, "a\rb\r\n"},
      {"multi-line with blanks to take off",
       {"230-Welcome\r\n   to the server\r\n230-More\r\n230 Done\r\n"},
       230,
       {"230-Welcome", "   to the server", "230-More", "230 Done"},
       "Welcome\r\nto the server\r\nMore\r\nDone\r\n"},
      {"another code or a hyphen does not end a multi-line reply",
       {"211-Features:\r\n220 not the end\r\n211-nor this\r\n\t MDTM\r\n211 End\r\n"},
       211,
       {"211-Features:", "220 not the end", "211-nor this", "\t MDTM", "211 End"},
       "Features:\r\n220 not the end\r\nnor this\r\nMDTM\r\nEnd\r\n"},
      {"empty lines skipped before and inside",
       {"\r\n\n230-a\r\n\r\n230 b\r\n"},
       230,
       {"230-a", "230 b"},
       "a\r\nb\r\n"},
      {"split across reads, also between CR and LF",
       {"2", "20", "-Wel", "come\r", "\n22", "0 Rea", "dy\r", "\n"},
       220,
       {"220-Welcome", "220 Ready"},
       "Welcome\r\nReady\r\n"},
      {"bytes that are not UTF-8 replaced, UTF-8 kept",
       {"550 caf\xE9 \xC3\xA9 \xED\xA0\x80 \xF0\x9F\x98\x80 \xF0\x9F\r\n"},
       550,
       {"550 caf\xE9 \xC3\xA9 \xED\xA0\x80 \xF0\x9F\x98\x80 \xF0\x9F"},
       "caf\xEF\xBF\xBD \xC3\xA9 \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD \xF0\x9F\x98\x80 "
       "\xEF\xBF\xBD\xEF\xBF\xBD\r\n"},
      {"line exactly at the cap",
       {long_line + "\r\n"},
       220,
       {long_line},
       std::string(kMaxReplyLineBytes - 4, 'x') + "\r\n"},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStream stream(c.chunks);
    LineReader reader(stream, 1000);
    const FtpReply reply = ReadReply(reader);
    EXPECT_EQ(reply.code, c.code);
    EXPECT_EQ(reply.lines, c.lines);
    EXPECT_EQ(ReplyText(reply), c.text);
  }
}

TEST(FtpReadReply, KeepsWhatFollowsAReplyForTheNextOne) {
  ScriptedStream stream({"120 Soon\r\n220-Rea", "dy\r\n220 Now\r\n331 Pa", "ss\r\n230 I"});
  LineReader reader(stream, 1000);
  EXPECT_EQ(ReadReply(reader).code, 120);
  const FtpReply second = ReadReply(reader);
  EXPECT_EQ(second.code, 220);
  EXPECT_EQ(second.lines.size(), 2u);
  const FtpReply third = ReadReply(reader);
  EXPECT_EQ(third.code, 331);
  EXPECT_EQ(third.lines, std::vector<std::string>{"331 Pass"});
  EXPECT_THROW((void)ReadReply(reader), FtpClosedError);  // the stream ends inside the line
}

struct BadReplyCase {
  const char* name;
  std::vector<std::string> chunks;
  bool silent_at_end;
  std::string error;
};

TEST(FtpReadReply, RaisesForWhatIsNoReply) {
  const std::vector<BadReplyCase> cases = {
      {"no code", {"hello\r\n"}, false, "Invalid reply."},
      {"two digits", {"22 Ready\r\n"}, false, "Invalid reply."},
      {"four digits", {"2200 Ready\r\n"}, false, "Invalid reply."},
      {"code glued to text", {"220Ready\r\n"}, false, "Invalid reply."},
      {"closed before any byte", {}, false, "Connection Closed Gracefully."},
      {"closed inside a line", {"220 Rea"}, false, "Connection Closed Gracefully."},
      {"closed inside a multi-line reply",
       {"220-a\r\n220-b\r\n"},
       false,
       "Connection Closed Gracefully."},
      {"silence", {"220 Rea"}, true, "Read timed out."},
      {"line one byte past the cap",
       {"220 " + std::string(kMaxReplyLineBytes - 3, 'x') + "\r\n"},
       false,
       "Reply line too long."},
  };
  for (const BadReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedStream stream(c.chunks, c.silent_at_end);
    LineReader reader(stream, 50);
    try {
      (void)ReadReply(reader);
      ADD_FAILURE() << "no error";
    } catch (const FtpError& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
    }
  }
}

// Hands out its text one byte per read, each after interval_ms; a wait shorter than that ends
// with nothing, after the whole wait. Then it reports an orderly close.
class DripStream : public ByteStream {
 public:
  DripStream(std::string text, int interval_ms)
      : text_(std::move(text)), interval_ms_(interval_ms) {}

  std::optional<std::size_t> Read(char* buffer, std::size_t size, int timeout_ms) override {
    waits_.push_back(timeout_ms);
    if (next_ == text_.size() || size == 0) return 0;
    if (timeout_ms < interval_ms_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
      return std::nullopt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(interval_ms_));
    buffer[0] = text_[next_++];
    return 1;
  }

  [[nodiscard]] const std::vector<int>& Waits() const { return waits_; }

 private:
  std::string text_;
  int interval_ms_;
  std::size_t next_ = 0;
  std::vector<int> waits_;
};

struct DripCase {
  const char* name;
  std::string text;
  int interval_ms;
  int read_timeout_ms;
  bool read;  // false: "Read timed out."
};

// Data that keeps coming does not stretch the wait: the reply as a whole must be complete within
// the read time-out, however its bytes are spaced out.
TEST(FtpReadReply, AReplyMustBeCompleteWithinTheReadTimeOut) {
  const std::vector<DripCase> cases = {
      // Each byte within the time-out, 11 bytes of 30 ms each far past it.
      {"bytes of one line", "220 Ready\r\n", 30, 150, false},
      // Each line (7 bytes of 20 ms) within the time-out, the three of them past it.
      {"lines of one reply", "220-a\r\n220-b\r\n220 c\r\n", 20, 250, false},
      {"a slow reply that completes in time", "220-a\r\n220 Ready\r\n", 20, 3000, true},
  };
  for (const DripCase& c : cases) {
    SCOPED_TRACE(c.name);
    DripStream stream(c.text, c.interval_ms);
    LineReader reader(stream, c.read_timeout_ms);
    try {
      EXPECT_EQ(ReadReply(reader).code, 220);
      EXPECT_TRUE(c.read) << "read although late";
    } catch (const FtpError& error) {
      EXPECT_FALSE(c.read);
      EXPECT_EQ(std::string(error.what()), "Read timed out.");
    }
    // Every wait handed to the stream is what is left of the one read time-out.
    int previous = c.read_timeout_ms;
    for (int wait : stream.Waits()) {
      EXPECT_LE(wait, previous);
      previous = wait;
    }
  }
}

TEST(FtpReadReply, DeadlineCutsTheWaitsShort) {
  ScriptedStream stream({"221 Go"}, true);
  LineReader reader(stream, 10000);
  const auto start = Clock::now();
  EXPECT_THROW((void)ReadReply(reader, start + std::chrono::milliseconds(100)), FtpError);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  for (int wait : stream.Waits()) EXPECT_LE(wait, 100);
}

struct HostileCase {
  const char* name;
  std::string prefix;
  std::string pattern;
  std::string error;
  std::size_t max_taken;  // bytes the reader may pull before it gives up
};

TEST(FtpReadReply, EndlessRepliesEndInACleanErrorWithBoundedMemory) {
  constexpr std::size_t kSlack = 4096;  // one read of the line reader
  const std::vector<HostileCase> cases = {
      {"endless line", "220 ", "A", "Reply line too long.", kMaxReplyLineBytes + 1 + kSlack},
      {"endless line without a code", "", "Login", "Reply line too long.",
       kMaxReplyLineBytes + 1 + kSlack},
      {"endless multi-line reply", "220-", "x\r\n220-x", "Reply too long.",
       kMaxReplyBytes + kSlack},
      {"endless empty lines inside", "220-start\r\n", "\r\n", "Reply too long.",
       kMaxReplyBytes + kSlack},
      {"endless empty lines before", "", "\n", "Reply too long.", kMaxReplyBytes + kSlack},
      {"endless short lines: the line count ends it", "230-x\r\n", "2\r\n", "Reply too long.",
       kMaxReplyLines * 3 + kSlack},
      {"lines of the cap each", "230-\r\n",
       "230-" + std::string(kMaxReplyLineBytes - 4, 'y') + "\r\n", "Reply too long.",
       kMaxReplyBytes + kMaxReplyLineBytes + kSlack},
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.name);
    EndlessStream stream(c.prefix, c.pattern);
    LineReader reader(stream, 1000);
    try {
      (void)ReadReply(reader);
      ADD_FAILURE() << "no error";
    } catch (const FtpProtocolError& error) {
      EXPECT_EQ(std::string(error.what()), c.error);
      EXPECT_FALSE(IsLoginRejection(error.what()));
    }
    EXPECT_LE(stream.Delivered(), c.max_taken);
  }
}

TEST(IsLoginRejection, LooksAtTheFirstFiveLettersInAnyCase) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Login incorrect.\r\n", true},
      {"LOGIN", true},
      {"lOgIn failed", true},
      {"Login", true},
      {"Logi", false},
      {"", false},
      {" Login incorrect.", false},
      {"Logout", false},
      {"Logic error", false},
      {"User cannot log in.\r\n", false},
      {"Socket Error # 10061\r\nConnection refused.", false},
      {"Connect timed out.", false},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(IsLoginRejection(text), expected);
  }
}

}  // namespace
}  // namespace travik::net

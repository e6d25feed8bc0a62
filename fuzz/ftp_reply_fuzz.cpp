// libFuzzer target for the FTP client's line reader and reply parser: arbitrary server bytes,
// cut into reads of varying sizes, must give replies within the caps or an FtpError, nothing else.
//
// Build and run (clang only; a build directory of its own):
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
//         -DTRAVIK_FUZZ=ON -DBUILD_TESTING=OFF
//   cmake --build build/fuzz --target ftp_reply_fuzz
//   mkdir -p build/fuzz/corpus
//   build/fuzz/fuzz/ftp_reply_fuzz -max_total_time=60 -max_len=200000 -rss_limit_mb=512 \
//         build/fuzz/corpus
// The first input byte steers the reads: its low four bits set the largest read (1 to 16
// bytes, or 4096 when zero), its top bit makes the stream fall silent at the end instead of
// closing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/ftp_reply.h"

namespace {

using travik::net::ByteStream;

class FuzzStream : public ByteStream {
 public:
  FuzzStream(const std::uint8_t* data, std::size_t size, std::size_t largest_read, bool silent)
      : data_(data), size_(size), largest_read_(largest_read), silent_(silent) {}

  std::optional<std::size_t> Read(char* buffer, std::size_t size, int) override {
    if (offset_ == size_) {
      if (silent_) return std::nullopt;
      return 0;
    }
    // Vary the reads: each one takes 1 to largest_read_ bytes, picked by the data itself.
    std::size_t count = 1 + (data_[offset_] % largest_read_);
    if (count > size) count = size;
    if (count > size_ - offset_) count = size_ - offset_;
    std::memcpy(buffer, data_ + offset_, count);
    offset_ += count;
    return count;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t largest_read_;
  bool silent_;
  std::size_t offset_ = 0;
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace travik::net;
  if (size == 0) return 0;
  const std::size_t largest_read = (data[0] & 0x0F) == 0 ? 4096 : (data[0] & 0x0F);
  FuzzStream stream(data + 1, size - 1, largest_read, (data[0] & 0x80) != 0);
  LineReader reader(stream, 10000);
  try {
    // Every reply takes at least one byte, so this ends with the input.
    for (;;) {
      const FtpReply reply = ReadReply(reader);
      Check(reply.code >= 0 && reply.code <= 999);
      Check(!reply.lines.empty() && reply.lines.size() <= kMaxReplyLines);
      for (const std::string& line : reply.lines) {
        Check(!line.empty() && line.size() <= kMaxReplyLineBytes);
        Check(line.find('\n') == std::string::npos);
      }
      Check(std::stoi(reply.lines.front().substr(0, 3)) == reply.code);
      const std::string text = ReplyText(reply);
      Check(text.size() <= kMaxReplyBytes + 2 * reply.lines.size());
      (void)IsLoginRejection(text);
    }
  } catch (const FtpError& error) {
    // The errors a hostile server can cause; none may read as a turned-down login.
    Check(!IsLoginRejection(error.what()));
  }
  return 0;
}

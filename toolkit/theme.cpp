#include "toolkit/theme.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "platform/error.h"

namespace travik {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool SameLetters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::uint32_t ParseColour(std::string_view value, int line) {
  const bool ok = value.size() == 7 && value[0] == '#' &&
                  std::all_of(value.begin() + 1, value.end(),
                              [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  if (!ok) throw Error("Theme line " + std::to_string(line) + ": colour expected as #RRGGBB");
  return static_cast<std::uint32_t>(std::stoul(std::string(value.substr(1)), nullptr, 16));
}

}  // namespace

std::optional<std::uint32_t> Theme::Colour(const std::string& key) const {
  const auto it = colours.find(key);
  if (it == colours.end()) return std::nullopt;
  return it->second;
}

ThemeStore ThemeStore::Parse(std::string_view text) {
  ThemeStore store;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      store.themes_.push_back(Theme{std::string(Trim(line.substr(1, line.size() - 2))), {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (store.themes_.empty() || equals == std::string_view::npos) {
      throw Error("Theme line " + std::to_string(number) + ": expected [NAME] or key = #RRGGBB");
    }
    store.themes_.back().colours[std::string(Trim(line.substr(0, equals)))] =
        ParseColour(Trim(line.substr(equals + 1)), number);
  }
  return store;
}

ThemeStore ThemeStore::FromCompressed(std::span<const std::uint8_t> data) {
  return Parse(InflateZlib(data));
}

const Theme* ThemeStore::Find(std::string_view name) const {
  for (const Theme& theme : themes_) {
    if (SameLetters(theme.name, name)) return &theme;
  }
  return nullptr;
}

std::string InflateZlib(std::span<const std::uint8_t> data, std::size_t limit) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw Error("zlib could not be started");
  struct End {
    z_stream* s;
    ~End() { inflateEnd(s); }
  } end{&stream};
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char chunk[16384];
  for (;;) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    const int result = inflate(&stream, Z_NO_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) throw Error("Damaged compressed data");
    out.append(chunk, sizeof chunk - stream.avail_out);
    if (out.size() > limit) throw Error("Compressed data too large");
    if (result == Z_STREAM_END) return out;
    if (stream.avail_in == 0 && stream.avail_out != 0) throw Error("Truncated compressed data");
  }
}

}  // namespace travik

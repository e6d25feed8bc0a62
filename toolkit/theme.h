#pragma once
// Named visual themes carried by the program as one zlib-compressed text resource:
//
//   [NAME]
//   key = #RRGGBB
//
// Portable (no <windows.h>): the colours are plain 0xRRGGBB values.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace travik {

struct Theme {
  std::string name;
  std::map<std::string, std::uint32_t> colours;  // key -> 0xRRGGBB
  [[nodiscard]] std::optional<std::uint32_t> Colour(const std::string& key) const;
};

class ThemeStore {
 public:
  // Raises Error when the text is not well formed.
  [[nodiscard]] static ThemeStore Parse(std::string_view text);
  [[nodiscard]] static ThemeStore FromCompressed(std::span<const std::uint8_t> data);
  // The theme of that name, compared without regard to letter case; null when there is none.
  [[nodiscard]] const Theme* Find(std::string_view name) const;

 private:
  std::vector<Theme> themes_;
};

// Inflates a zlib stream; raises Error when it is damaged or larger than `limit` once inflated.
[[nodiscard]] std::string InflateZlib(std::span<const std::uint8_t> data,
                                      std::size_t limit = 1 << 20);

}  // namespace travik

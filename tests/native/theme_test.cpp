#include "toolkit/theme.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "platform/error.h"

namespace travik {
namespace {

std::string ReadAsset(const char* name) {
  std::ifstream in(std::string(TRAVIK_ASSETS_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ThemeStore, CarriedResourceIsTheCompressedThemeText) {
  const std::string compressed = ReadAsset("themes.z");
  ASSERT_FALSE(compressed.empty());
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(compressed.data()),
                        compressed.size());
  // A stale themes.z (themes.txt edited without tools/pack-theme.py) fails here.
  EXPECT_EQ(InflateZlib(bytes), ReadAsset("themes.txt"));
  const ThemeStore store = ThemeStore::FromCompressed(bytes);
  const Theme* korvena = store.Find("korvena");
  ASSERT_NE(korvena, nullptr);
  EXPECT_EQ(korvena->name, "KORVENA");
  // The log's white text needs a dark background.
  const auto log = korvena->Colour("log");
  ASSERT_TRUE(log.has_value());
  const auto luminance =
      ((*log >> 16) & 0xFF) * 299 + ((*log >> 8) & 0xFF) * 587 + (*log & 0xFF) * 114;
  EXPECT_LT(luminance / 1000, 80u);
}

TEST(ThemeStore, ParsesSectionsAndRejectsMalformedLines) {
  const ThemeStore store = ThemeStore::Parse("# comment\n[One]\npage = #0A0B0C\n\n[Two]\r\n");
  ASSERT_NE(store.Find("two"), nullptr);
  EXPECT_EQ(store.Find("ONE")->Colour("page"), 0x0A0B0Cu);
  EXPECT_EQ(store.Find("one")->Colour("text"), std::nullopt);
  EXPECT_EQ(store.Find("Three"), nullptr);
  for (const char* bad :
       {"page = #000000\n", "[A]\npage = red\n", "[A]\npage #000000\n", "[A]\npage = #12345\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW((void)ThemeStore::Parse(bad), Error);
  }
}

TEST(InflateZlib, RejectsDamagedTruncatedAndOversizedData) {
  const std::string compressed = ReadAsset("themes.z");
  std::vector<std::uint8_t> bytes(compressed.begin(), compressed.end());
  std::vector<std::uint8_t> truncated(bytes.begin(), bytes.begin() + bytes.size() / 2);
  EXPECT_THROW((void)InflateZlib(truncated), Error);
  std::vector<std::uint8_t> damaged = bytes;
  damaged[damaged.size() / 2] ^= 0xFF;
  EXPECT_THROW((void)InflateZlib(damaged), Error);
  EXPECT_THROW((void)InflateZlib(bytes, 16), Error);
}

}  // namespace
}  // namespace travik

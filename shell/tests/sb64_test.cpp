#include "shell/sb64.h"

#include <gtest/gtest.h>

namespace {

TEST(SB64, EncodesWithPaddingByOutputLength) {
  const struct {
    const char* data;
    const char* text;
  } cases[] = {
      {"", ""},           {"a", "YQ="},       {"ab", "YWI"},          {"abc", "YWJj=="},           {"abcd", "YWJjZA"},
      {"8080", "ODA4MA"}, {"8081", "ODA4MQ"}, {"a.skn", "YS5za24=="}, {"1.2.0.0", "MS4yLjAuMA=="},
  };
  TSB64 codec;
  for (const auto& c : cases) EXPECT_EQ(codec.Encode(c.data), c.text) << c.data;
}

TEST(SB64, DecodesSkippingPads) {
  const struct {
    const char* text;
    AnsiString data;
  } cases[] = {
      {"YQ=", "a"},
      {"YQ==", "a"},
      {"=Y=Q=", "a"},
      {"YWJj==", "abc"},
      {"MS4yLjAuMA==", "1.2.0.0"},
      {"", ""},
      {"===", ""},
      {"ODA4MA", "8080"},
      {"8080", AnsiString("\xF3\x4F\x34", 3)},
  };
  TSB64 codec;
  for (const auto& c : cases) {
    AnsiString dest = "previous";
    EXPECT_TRUE(codec.Decode(c.text, dest)) << c.text;
    EXPECT_EQ(dest, c.data) << c.text;
  }
}

TEST(SB64, StopsAtAForeignCharacterLeavingTheDestination) {
  TSB64 codec;
  for (const AnsiString text : {"Y.Q", "YWJj.", "http://127.0.0.1", " YQ", "YQ\n", "\xC4\xE3"}) {
    AnsiString dest = "kept";
    EXPECT_FALSE(codec.Decode(text, dest)) << text;
    EXPECT_EQ(dest, "kept") << text;
  }
}

TEST(SB64, RoundTripsEveryByte) {
  TSB64 codec;
  AnsiString all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t length = 0; length <= 7; ++length) {
    const AnsiString data = all.substr(256 - length);
    AnsiString back;
    ASSERT_TRUE(codec.Decode(codec.Encode(data), back));
    EXPECT_EQ(back, data) << length;
  }
  AnsiString back;
  ASSERT_TRUE(codec.Decode(codec.Encode(all), back));
  EXPECT_EQ(back, all);
}

}  // namespace

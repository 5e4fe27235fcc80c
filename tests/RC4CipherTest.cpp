#include "RC4Cipher.h"

#include <gtest/gtest.h>

#include "HexText.h"
#include "StoredPassword.h"

using HexText::HexToString;
using HexText::StringToHex;
using RC4Cipher::RC4Crypt;

namespace {

const std::string kKey = "plomvaderskiturne";

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

// Key streams from RFC 6229 (40-bit and 128-bit keys) at offsets 0, 16 and
// 4096, and the classic plaintext vectors.
TEST(RC4Crypt, PublishedVectors) {
  struct Case {
    std::string key;
    std::string text;
    std::size_t offset;
    const char* expectedHex;
  };
  const std::string zeros(4112, '\0');
  const Case cases[] = {
      {Bytes({1, 2, 3, 4, 5}), zeros, 0, "B2396305F03DC027CCC3524A0A1118A8"},
      {Bytes({1, 2, 3, 4, 5}), zeros, 16, "6982944F18FC82D589C403A47A0D0919"},
      {Bytes({1, 2, 3, 4, 5}), zeros, 4096, "FF25B58995996707E51FBDF08B34D875"},
      {Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}), zeros, 0,
       "9AC7CC9A609D1EF7B2932899CDE41B97"},
      {"Key", "Plaintext", 0, "BBF316E8D940AF0AD3"},
      {"Wiki", "pedia", 0, "1021BF0420"},
      {"Secret", "Attack at dawn", 0, "45A01F645FC35B383552544B9BF5"},
  };
  for (const auto& c : cases) {
    const std::string out = RC4Crypt(c.text, c.key);
    ASSERT_EQ(out.size(), c.text.size());
    const std::size_t length = std::string(c.expectedHex).size() / 2;
    EXPECT_EQ(StringToHex(out.substr(c.offset, length)), c.expectedHex) << c.key << "@" << c.offset;
  }
}

TEST(RC4Crypt, EmptyKeyOrTextAndLongKeys) {
  EXPECT_EQ(RC4Crypt("text", ""), "");
  EXPECT_EQ(RC4Crypt("", kKey), "");
  std::string longKey;
  for (int i = 0; i < 300; ++i) longKey += static_cast<char>(i * 7);
  EXPECT_EQ(RC4Crypt("secret", longKey), RC4Crypt("secret", longKey.substr(0, 256)));
  EXPECT_NE(RC4Crypt("secret", longKey.substr(0, 256)), RC4Crypt("secret", longKey.substr(0, 255)));
}

TEST(HexText, Forms) {
  struct Case {
    std::string hex;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {"616263", "abc"},
      {"6a6B", "jk"},
      {"", ""},
      {"00FF80", Bytes({0, 255, 128})},
      {"616", Bytes({0x61, 6})},  // a lone last digit stands for itself
      {"6G", std::nullopt},
      {"G6", std::nullopt},
      {" 61", std::nullopt},
      {"0x61", std::nullopt},
      {"61-", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(HexToString(c.hex), c.text) << c.hex;
  EXPECT_EQ(StringToHex("abc"), "616263");
  EXPECT_EQ(StringToHex(Bytes({0, 10, 255})), "000AFF");
}

// Every password up to the longest that survives storage comes back, with
// cipher output bytes of 0 and above 127 among them.
TEST(StoredPassword, RoundTrips) {
  bool sawZero = false;
  bool sawHigh = false;
  for (std::size_t length = 1; length <= 129; ++length) {
    std::string password;
    for (std::size_t i = 0; i < length; ++i) password += static_cast<char>((i * 37 + length) % 256);
    const std::string stored = StoredPassword::Encipher(password, kKey);
    ASSERT_EQ(stored.size(), 2 * length);
    ASSERT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;
    EXPECT_EQ(stored, StoredPassword::Encipher(password, kKey)) << "a fresh key stream each call";
    const std::string cipher = RC4Crypt(password, kKey);
    sawZero = sawZero || cipher.find('\0') != std::string::npos;
    sawHigh = sawHigh || std::any_of(cipher.begin(), cipher.end(),
                                     [](char c) { return static_cast<unsigned char>(c) > 127; });
    EXPECT_EQ(StoredPassword::Decipher(stored, kKey), password) << length;
    std::string lower = stored;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(StoredPassword::Decipher(lower, kKey), password) << "lower-case digits";
  }
  EXPECT_TRUE(sawZero);
  EXPECT_TRUE(sawHigh);
  EXPECT_EQ(StoredPassword::Encipher("", kKey), "");
  EXPECT_EQ(StoredPassword::Decipher("", kKey), "");
}

TEST(StoredPassword, NotHexIsReportedNotCrashed) {
  EXPECT_EQ(StoredPassword::Decipher("hunter2", kKey), std::nullopt);
  using StoredPassword::Reader;
  for (const Reader reader : {Reader::CommandLine, Reader::ConfigWindow}) {
    const std::string message = StoredPassword::NotHexMessage("/opt/t/Tarnwick.ini", reader);
    EXPECT_NE(message.find("/opt/t/Tarnwick.ini"), std::string::npos);
    EXPECT_NE(message.find("SMTPPassword"), std::string::npos);
    EXPECT_EQ(message.find("hunter2"), std::string::npos);
    // Inside the configuration window, sending the user to it helps nobody.
    EXPECT_EQ(message.find("tarnwick -config") == std::string::npos, reader == Reader::ConfigWindow)
        << message;
  }
}

}  // namespace

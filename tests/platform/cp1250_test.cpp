#include <gtest/gtest.h>

#include "platform/cp1250.h"

using namespace vorlend;

TEST(Cp1250, CzechLettersRoundTripAndEveryByteSurvives) {
  const std::string czech = "Příliš žluťoučký kůň úpěl ďábelské ódy ČŘŠŽÝÁÍÉŮÚŤĎŇĚ";
  const std::string bytes = Utf8ToCp1250(czech);
  EXPECT_EQ(bytes.size(), 53u);                           // one byte a character
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xF8);  // ř
  EXPECT_EQ(Cp1250ToUtf8(bytes), czech);

  // All 256 byte values, the five undefined ones included, come back unchanged.
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
  EXPECT_EQ(Cp1250ToUtf8("\x81"), "\xC2\x81");
  EXPECT_EQ(Cp1250ToUtf8("\x98"), "\xC2\x98");
}

TEST(Cp1250, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a€b"),
            "a\x80"
            "b");
  EXPECT_EQ(Utf8ToCp1250("日本"), "??");
  EXPECT_EQ(Utf8ToCp1250("ñ"), "?");     // Spanish ñ is not in the Central European page
  EXPECT_EQ(Utf8ToCp1250("\xFF"), "?");  // broken UTF-8
}

// Bytes that are no well-formed UTF-8 each become "?". An overlong form in particular never turns
// into the character it spells: "\xC0\x8A" is no line break and "\xC0\xA2" no quote, so a value
// cannot slip either past the writers that escape or blank them before converting.
TEST(Cp1250, MalformedUtf8NeverBecomesAControlCharacterOrQuote) {
  EXPECT_EQ(Utf8ToCp1250("a\xC0\x8A"
                         "b"),
            "a??b");                                                   // overlong line feed
  EXPECT_EQ(Utf8ToCp1250("\xC0\xA2\xC1\x81"), "????");                 // overlong quote and "A"
  EXPECT_EQ(Utf8ToCp1250("\xE0\x80\x8D\xF0\x80\x80\x80"), "???????");  // overlong CR, NUL
  EXPECT_EQ(Utf8ToCp1250("\xED\xA0\x80"
                         "x"),
            "???x");                                            // a surrogate
  EXPECT_EQ(Utf8ToCp1250("\xF4\x90\x80\x80"), "????");          // beyond U+10FFFF
  EXPECT_EQ(Utf8ToCp1250("\xC5\x99\xE2\x82\xAC"), "\xF8\x80");  // well-formed: ř €
}

#include <gtest/gtest.h>

#include "platform/cp1250.h"

using namespace vorlend;

TEST(Cp1250, CzechLettersRoundTripAndEveryByteSurvives) {
  const std::string czech = "Příliš žluťoučký kůň úpěl ďábelské ódy ČŘŠŽÝÁÍÉŮÚŤĎŇĚ";
  const std::string bytes = Utf8ToCp1250(czech);
  EXPECT_EQ(bytes.size(), 53u);  // one byte a character
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
  EXPECT_EQ(Utf8ToCp1250("a€b"), "a\x80" "b");
  EXPECT_EQ(Utf8ToCp1250("日本"), "??");
  EXPECT_EQ(Utf8ToCp1250("ñ"), "?");  // Spanish ñ is not in the Central European page
  EXPECT_EQ(Utf8ToCp1250("\xFF"), "?");  // broken UTF-8
}

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "platform/datetime.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "support/portable.h"

using namespace vorlend;

TEST(Locale, DateSeparatorNormalisation) {
  struct Case {
    std::string sep, format, wantSep, wantFormat;
  };
  const Case cases[] = {
      {".", "d.M.yyyy", ".", "d.M.yyyy"},     // one character: unchanged
      {"", "d.M.yyyy", "", "d.M.yyyy"},       // empty: unchanged
      {". ", "d. M. yyyy", ".", "d.M.yyyy"},  // a dot and a blank become a dot
      {" - ", "yyyy - MM - dd", "-", "yyyy-MM-dd"},
      {"  ", "d  M  yyyy", " ", "d M yyyy"},  // blanks only keep one blank
  };
  for (const auto& c : cases) {
    LocaleFormats f;
    f.DateSeparator = c.sep;
    f.ShortDateFormat = c.format;
    NormaliseDateSeparator(f);
    EXPECT_EQ(f.DateSeparator, c.wantSep) << c.format;
    EXPECT_EQ(f.ShortDateFormat, c.wantFormat) << c.format;
  }
}

TEST(Locale, PlainLocaleGivesCzechFormats) {
  VORLEND_LINUX_ONLY("the formats come from the environment's locale there, from the user's settings on Windows");
  test::SetEnv("LC_ALL", "C");
  const LocaleFormats f = SystemLocaleFormats();
  test::UnsetEnv("LC_ALL");
  EXPECT_EQ(f.ShortDateFormat, "d.M.yyyy");
  EXPECT_EQ(f.LongTimeFormat, "H:mm:ss");
  EXPECT_EQ(f.DecimalSeparator, ',');
}

TEST(Locale, FormattingAndParsing) {
  const LocaleFormats cz = CzechLocaleFormats();
  const TDateTime t = EncodeDate(2026, 1, 5) + EncodeTime(7, 3, 9);
  EXPECT_EQ(DateToStr(t, cz), "5.1.2026");
  EXPECT_EQ(TimeToStr(t, cz), "7:03:09");
  EXPECT_EQ(FormatDateTime("yyyy-MM-dd HH:mm", t, cz), "2026-01-05 07:03");
  TDateTime d = 0;
  EXPECT_TRUE(TryStrToDate("29.2.2024", d, cz));
  EXPECT_EQ(d, EncodeDate(2024, 2, 29));
  EXPECT_FALSE(TryStrToDate("29.2.2023", d, cz));
  EXPECT_FALSE(TryStrToDate("x.2.2023", d, cz));
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  int y = 0, m = 0, dd = 0;
  DecodeDate(EncodeDate(2000, 2, 29), y, m, dd);
  EXPECT_EQ(y * 10000 + m * 100 + dd, 20000229);

  double v = 0;
  EXPECT_TRUE(TryStrToFloat("12,5", v, cz));
  EXPECT_DOUBLE_EQ(v, 12.5);
  EXPECT_FALSE(TryStrToFloat("12.5", v, cz));
  EXPECT_FALSE(TryStrToFloat("1,2,3", v, cz));
  EXPECT_FALSE(TryStrToFloat("", v, cz));
  EXPECT_EQ(FloatToStr(0.1 + 0.2, cz), "0,3");
}

TEST(Text, CaseAndTrim) {
  EXPECT_EQ(UpperCase("příliš žluťoučký kůň"), "PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ");
  EXPECT_EQ(LowerCase("ĎÁBELSKÉ ÓDY Ľ"), "ďábelské ódy ľ");
  EXPECT_TRUE(SameText("Účetní rok", "ÚČETNÍ ROK"));
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(CutToChars("žluťoučký", 4), "žluť");
  EXPECT_EQ(CharCount("kůň"), 3u);
  EXPECT_EQ(FindText("abc?AKTROK x", "?aktrok"), 3u);
}

// Digits in threes with a no-break space, so a count never breaks across two lines.
TEST(Text, NumbersAreGroupedInThreesTheCzechWay) {
  const std::string nbsp = "\u00A0";
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(1000), "1" + nbsp + "000");
  EXPECT_EQ(GroupedNumber(144000), "144" + nbsp + "000");
  EXPECT_EQ(GroupedNumber(-1234567), "-1" + nbsp + "234" + nbsp + "567");
  EXPECT_EQ(GroupedNumber(LLONG_MIN),
            "-9" + nbsp + "223" + nbsp + "372" + nbsp + "036" + nbsp + "854" + nbsp + "775" + nbsp + "808");
}

#include <gtest/gtest.h>

#include "archive/file_list.h"

using namespace vorlend;

TEST(FileList, BytesOfTheHeaderAndRows) {
  const FileList rows = {MakeFileListRow("PD002", "ROK.002\\POKLKNIH", "pokladní doklady 2005")};
  const std::string bytes = EncodeFileList(rows);
  const std::string header = "\"FileName\",\"MoneyFile\",\"WorkingStr\",";
  EXPECT_EQ(header.size(), 36u);
  EXPECT_EQ(bytes, header + "\r\n\"PD002\",\"ROK.002\\POKLKNIH\",\"pokladn\xED doklady 2005\",\r\n");
  EXPECT_EQ(DecodeFileList(bytes).at(0).WorkingStr, "pokladní doklady 2005");
}

TEST(FileList, EscapesRoundTripAndReadingRules) {
  const std::string odd = std::string("100% \"ok\"\r\nnext\0end", 19);
  const FileList rows = {MakeFileListRow("A%c", odd, "x\"\"y")};
  const std::string bytes = EncodeFileList(rows);
  EXPECT_NE(bytes.find("\"100%% \"\"ok\"\"%c%nnext%0end\","), std::string::npos);
  const FileList back = DecodeFileList(bytes);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].FileName, "A%c");
  EXPECT_EQ(back[0].MoneyFile, odd);
  EXPECT_EQ(back[0].WorkingStr, "x\"\"y");

  // Columns are matched by name in any order and case, unknown columns and blank lines ignored,
  // values cut to their widths, unquoted values read as empty.
  const std::string other =
      "\"workingstr\",\"Extra\",\"FILENAME\",\"MoneyFile\",\n\n\r\n"
      "\"w\",\"e\",\"ABCDEFGHIJKLMN\",plain,\r"
      "\"" +
      std::string(40, 'x') + "\",,\"f\",\"m\"";
  const FileList parsed = DecodeFileList(other);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0].FileName, "ABCDEFGHIJ");
  EXPECT_EQ(parsed[0].MoneyFile, "");
  EXPECT_EQ(parsed[0].WorkingStr, "w");
  EXPECT_EQ(parsed[1].WorkingStr, std::string(30, 'x'));
  EXPECT_EQ(parsed[1].FileName, "f");
  EXPECT_EQ(parsed[1].MoneyFile, "m");
  EXPECT_TRUE(DecodeFileList("").empty());
}

#include "support/ini.h"

#include <gtest/gtest.h>

#include "support/memory_file_system.h"

namespace zarn {
namespace {

TEST(IniTest, ReadsLikeTheProfileReader) {
  IniFile ini = IniFile::Parse(
      "; comment\r\n"
      "[Data]\r\n"
      "  Datafolder =  /srv/data  \r\n"
      "Files=\"\\.txt$\"\n"
      "Quoted='  x  '\n"
      "Empty=\n"
      "EmptyQuotes=\"\"\n"
      "Mismatched=\"abc'\n"
      "  ;Start=hidden\n"
      "datafolder=second\n"
      "[ data ]\n"
      "Extra=from second section\n"
      "[Log]\n"
      "Log=/tmp/x.log\n");
  EXPECT_EQ(ini.Get("DATA", "DATAFOLDER"), "/srv/data");
  EXPECT_EQ(ini.Get("data", "files"), "\\.txt$");
  EXPECT_EQ(ini.Get("Data", "Quoted"), "  x  ");
  EXPECT_EQ(ini.Get("Data", "Empty"), std::nullopt);
  EXPECT_EQ(ini.Get("Data", "EmptyQuotes"), std::nullopt);
  EXPECT_EQ(ini.Get("Data", "Mismatched"), "\"abc'");
  EXPECT_EQ(ini.Get("Data", "Start"), std::nullopt);
  EXPECT_EQ(ini.Get("Data", "Extra"), std::nullopt);  // first section wins
  EXPECT_EQ(ini.Get("Log", "Log"), "/tmp/x.log");
  EXPECT_EQ(ini.Get("Nope", "Log"), std::nullopt);
}

TEST(IniTest, ValuesAreCutTo254Bytes) {
  std::string long_value(300, 'v');
  IniFile ini = IniFile::Parse("[S]\nK=" + long_value + "\n");
  EXPECT_EQ(ini.Get("S", "K"), std::string(254, 'v'));
}

TEST(IniTest, MissingValueGivesTheDefault) {
  IniFile ini = IniFile::Parse("[Commands]\nX=1\n");
  EXPECT_EQ(GetIniValue(ini, "/opt/zarn/zarn_msg.ini", "Commands", "X"), "1");
  EXPECT_EQ(GetIniValue(ini, "f", "Commands", "Y", "dflt"), "dflt");
}

TEST(IniTest, UnreadableFileReadsAsNothing) {
  MemoryFileSystem fs;
  fs.AddFile("/p.ini", "[A]\nk=v\n");
  fs.Fail(MemoryFileSystem::Op::kRead, "/p.ini", 5);
  EXPECT_EQ(IniFile::Load(fs, "/p.ini").Get("A", "k"), std::nullopt);
  EXPECT_EQ(IniFile::Load(fs, "/absent.ini").Get("A", "k"), std::nullopt);
}

}  // namespace
}  // namespace zarn

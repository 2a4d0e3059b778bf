#include "variables/str_vars.h"

#include <gtest/gtest.h>

#include "variables/sys_vars.h"

namespace zarn {
namespace {

TEST(StrVarsTest, KeysIgnoreCaseNamesFollowLatestAssignment) {
  StrVarStore vars;
  vars.Set("Abc", "1");
  vars.Set("abc", "2");
  EXPECT_EQ(vars.Count(), 1);
  EXPECT_EQ(vars.FindStrVar("Abc"), 0);
  EXPECT_EQ(vars.FindStrVar("abc"), 1);
  StrVarRec rec = vars.GetStrVar("ABC");
  EXPECT_EQ(rec.name, "abc");
  EXPECT_EQ(rec.value, "2");
  EXPECT_EQ(vars.ExactValueOf("Abc"), std::nullopt);
  EXPECT_EQ(vars.ExactValueOf("abc"), "2");
}

TEST(StrVarsTest, MissingVariableReadsAsQuestionMark) {
  StrVarStore vars;
  StrVarRec rec = vars.GetStrVar("never");
  EXPECT_EQ(rec.name, "?");
  EXPECT_EQ(rec.value, "");
  EXPECT_EQ(vars.FindStrVar(""), 0);
  EXPECT_EQ(vars.GetStrVarAt(0).name, "?");
  EXPECT_EQ(vars.GetStrVarAt(1).name, "?");
}

TEST(StrVarsTest, FileStringIsOneVariableInAnyCase) {
  StrVarStore vars;
  vars.Set("a", "x");
  vars.Set("*filestring", "hello");
  vars.file_text().Replace(0, 1, "J");
  EXPECT_EQ(vars.GetStrVar("*FILESTRING").value, "Jello");
  vars.Set("*FILESTRING", "other");  // the same variable, renamed
  EXPECT_EQ(vars.Count(), 2);
  EXPECT_EQ(vars.file_text().view(), "other");
  EXPECT_EQ(vars.FindStrVar("*filestring"), 0);
  EXPECT_EQ(vars.FindStrVar("*FILESTRING"), 2);
}

TEST(StrVarsTest, DumpLayout) {
  StrVarStore vars;
  EXPECT_EQ(vars.DumpStrVars("=all=", "H", "..."), "\r\n");
  vars.Set("a", "x\r\ny");
  vars.Set("b", "");
  vars.Set("A2", "z");
  EXPECT_EQ(vars.DumpStrVars("=all=", "H", ".."),
            "\r\nH[a]: \r\n..x\r\n..y\r\nH[b]: \r\n..\r\nH[A2]: \r\n..z\r\n");
}

TEST(SysVarsTest, CatalogueOrderAndKinds) {
  StrVarStore vars;
  SysVarTable table;
  vars.Set("*parm1", "p1");
  vars.Set("*parm2", "p2");
  InitSysVars(vars, table,
              SysVarSettings{"/opt/zarn", "/d", "/z", "p.zarn", "/d/zarn.log",
                             2});
  std::vector<std::string> names;
  for (int32_t i = 1; i <= vars.Count(); ++i) names.push_back(vars.NameAt(i));
  std::vector<std::string> expected = {
      "*parm1",     "*parm2",     "*comma",     "*blank",     "*null",
      "*lb",        "*rb",        "*crlf",      "*app",       "*file",
      "*filename",  "*fileext",   "*errloglev", "*allchanges", "*allfiles",
      "*changes",   "*pos",       "*filestring", "*n_oper",   "*datafolder",
      "*zarnfolder", "*zarnprog", "*logfile"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(vars.GetStrVar("*crlf").value, "\r\n");
  EXPECT_EQ(vars.GetStrVar("*app").value, "/opt/zarn");
  EXPECT_EQ(vars.GetStrVar("*zarnprog").value, "p.zarn");
  EXPECT_EQ(vars.GetStrVar("*n_oper").value, "1");
  EXPECT_EQ(table.SysVarCount(), 23);

  vars.Set("mine", "1");
  const std::pair<const char*, int> kinds[] = {
      {"*pos", 3},   {"*filestring", 3}, {"*errloglev", 3},
      {"*comma", 2}, {"*parm2", 2},      {"*n_oper", 2},
      {"mine", 1},   {"never", 0},       {"*COMMA", 0}};
  for (const auto& [name, kind] : kinds) {
    EXPECT_EQ(SysVarKind(vars, table, name), kind) << name;
  }
  vars.Set("*COMMA", ";");  // updates *comma and renames it
  EXPECT_EQ(SysVarKind(vars, table, "*COMMA"), 2);
  EXPECT_EQ(vars.GetStrVar("*comma").name, "*COMMA");
}

}  // namespace
}  // namespace zarn

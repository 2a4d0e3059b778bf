// Which programs read on a file what the files before it left: one row per
// program (operations separated by " | ") and the reason the files must run
// one after another, or "" when each file's run depends on that file alone.
#include "commands/carried_state.h"

#include <gtest/gtest.h>

#include "program/program.h"
#include "variables/sys_vars.h"

namespace zarn {
namespace {

std::string Carried(std::string program) {
  for (size_t p = program.find(" | "); p != std::string::npos;
       p = program.find(" | ")) {
    program.replace(p, 3, "\n");
  }
  LoadedProgram loaded = LoadProgramText(program);
  EXPECT_TRUE(loaded.finding.code.empty()) << program;
  const auto compiled = CompileProgram(std::move(loaded.OperList), {});
  const std::optional<CarriedRead> read = FindCarriedRead(*compiled);
  return read ? DescribeCarriedRead(*read) : "";
}

TEST(CarriedState, ReadsOfWhatEarlierFilesLeft) {
  const struct {
    const char* program;
    const char* carried;
  } rows[] = {
      // The scan loop: a range is read only where the search found it.
      {"setc pat,foo | setc new,bar | loop | findup pat,b,hit,a | if *rcf | "
       "rep hit,new | gbeg a | else | endif | lend not(*rcf)",
       ""},
      {"set *filestring,sr(*filestring,foo,bar)", ""},
      {"set a,1 | loop | set a,sum(a,1) | lend ifn(a,ge,3,1,0) | wlog a", ""},
      {"find p,b,h,a | set q,rgs(*ctx1) | gend *filerange | wlog q", ""},
      {"setc ABC,1 | set *filestring,abc", ""},
      // Words no operation can make a variable stay literal text.
      {"set *filestring,ifs(x,eq,y,*comma,z)", ""},
      {"set n,sum(n,1)", "operation 1 reads n left by the previous file"},
      {"set *filestring,w | setc w,seen",
       "operation 1 reads w left by the previous file"},
      {"cat c,c,*comma | rep *filerange,c",
       "operation 1 reads c left by the previous file"},
      {"set k,*allfiles",
       "operation 1 reads *allfiles left by the previous file"},
      {"setc x,1 | set *errloglev,1",
       "operation 1 reads *errloglev left by the previous file"},
      {"wlog =all=",
       "operation 1 lists every variable, as the previous file left them"},
      // wlog's header shows *n_oper, which only an operation of the file
      // has set.
      {"wlog *pos", "operation 1 reads *n_oper left by the previous file"},
      {"setc x,1 | wlog x", ""},
      {"find p,b,h,a | gbeg h",
       "operation 2 reads the range h left by the previous file"},
      {"setc y,1 | if ifs(*pos,eq,1,1,0) | setc y,2 | else | endif | cat z,y",
       ""},
      {"if ifs(*pos,eq,1,1,0) | setc y,2 | else | endif | cat z,y",
       "operation 5 reads y left by the previous file"},
      {"loop | cat s,s,*comma | lend 1",
       "operation 2 reads s left by the previous file"},
      {"setc r,h | set q,rgs(r)",
       "operation 2 reads a range whose name is the value of r"},
      // rep creates the variable it reads when it is missing.
      {"find p,b,h,a | rep *ctx1,p",
       "operation 1 reads p left by the previous file"},
      {"setc p,x | find p,b,h,a | rep *ctx1,p | find p,*ctx1,x,y",
       "operation 3 reads the range *ctx1 left by the previous file"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Carried(row.program), row.carried) << row.program;
  }
}

}  // namespace
}  // namespace zarn

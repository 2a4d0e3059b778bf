// Start-up and the parameter check, end to end with the real binary.
#include <sys/stat.h>
#include <unistd.h>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

using Startup = E2eTest;

const std::string kCanceled = "Execution canceled. ";

TEST_F(Startup, MissingParameterFile) {
  RunResult r = RunProgram({Binary(), root_ + "/none.ini"}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: Zarn parameter (ini-file) \"" + root_ +
                       "/none.ini\" -- is incorrectly defined or not found."
                       "\r\n" + kCanceled + "\n");
  EXPECT_FALSE(Exists(LogPath()));
  // No path at all also shows the usage.
  r = RunProgram({Binary()}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Zarn 2.0: Zarn parameter (ini-file) \"\" -- is "
                       "incorrectly defined or not found."),
            std::string::npos);
  EXPECT_NE(r.err.find("Usage: zarn"), std::string::npos);
  // Quotes stay part of the path.
  WriteParams();
  WriteProgram("");
  r = RunProgram({Binary(), "\"" + ParamPath() + "\""}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is incorrectly defined or not found."),
            std::string::npos);
}

TEST_F(Startup, PathWithBlanksWorksQuotedOrUnquoted) {
  std::string dir = root_ + "/with blank";
  ::mkdir(dir.c_str(), 0755);
  WriteFile(dir + "/p q.ini", "[Data]\nDatafolder=" + data_ +
                                  "\nZarnfolder=" + prog_ +
                                  "\nStart=prog.zarn\n");
  WriteProgram("");
  // Unquoted: the shell splits the path into words, joined again here;
  // quoted: one argument; surrounding blanks are trimmed.
  for (std::vector<std::string> args :
       {std::vector<std::string>{root_ + "/with", "blank/p", "q.ini"},
        {dir + "/p q.ini"},
        {"  " + dir + "/p q.ini  "}}) {
    args.insert(args.begin(), Binary());
    RunResult r = RunProgram(args, root_);
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

TEST_F(Startup, OptionsAreListedAndCheckedBeforeAnythingRuns) {
  RunResult r = RunProgram({Binary(), "--version"}, root_);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Zarn 2.0\n");
  EXPECT_EQ(RunProgram({Binary(), "-h"}, root_).status, 0);
  // Every option of --help is checked against the README by the man page
  // test.
  EXPECT_NE(RunProgram({Binary(), "--help"}, root_).out.find("Usage: zarn"),
            std::string::npos);
  PutData("a.txt", "foo");
  WriteParams();
  WriteProgram("set *filestring,sr(*filestring,foo,bar)\n");
  struct Bad {
    std::vector<std::string> args;
    std::string message;
  } bad[] = {
      {{"--bogus"}, "zarn: unknown option '--bogus'"},
      {{"--backup"}, "zarn: option '--backup' needs a value: --backup=SUFFIX"},
      {{"--backup="}, "zarn: --backup needs a SUFFIX without '/'"},
      {{"--backup=/x"}, "zarn: --backup needs a SUFFIX without '/'"},
      {{"--dry-run=yes"}, "zarn: option '--dry-run' takes no value"},
      {{"--fsync=yes"}, "zarn: option '--fsync' takes no value"},
      {{"--quiet", "--diffs"}, "zarn: unknown option '--diffs'"},
  };
  for (const Bad& b : bad) {
    r = Run(b.args);
    EXPECT_EQ(r.status, 64) << b.message;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), b.message);
    EXPECT_NE(r.err.find("Usage: zarn"), std::string::npos);
    EXPECT_FALSE(Exists(LogPath())) << "ran despite " << b.message;
  }
  EXPECT_EQ(Data("a.txt"), "foo");
  // Options come first: after the path begins, words belong to the path.
  r = RunProgram({Binary(), ParamPath(), "--dry-run"}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(ParamPath() + " --dry-run"), std::string::npos);
  // "--" ends the options.
  r = RunProgram({Binary(), "--quiet", "--fsync", "--", ParamPath()}, root_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "bar");
}

struct ParamCase {
  const char* name;
  std::string params;  // with @D@ for the data folder, @P@ for the program folder
  std::string report;  // the final report after "Zarn 2.0: "
};

std::string Fill(std::string s, const std::string& d, const std::string& p) {
  for (size_t at; (at = s.find("@D@")) != std::string::npos;) s.replace(at, 3, d);
  for (size_t at; (at = s.find("@P@")) != std::string::npos;) s.replace(at, 3, p);
  return s;
}

TEST_F(Startup, EveryParameterFailureHasItsReport) {
  const std::string base = "Zarnfolder=@P@\nStart=prog.zarn\n";
  std::vector<ParamCase> cases = {
      {"no datafolder", "[Data]\n" + base,
       "ZARNCPA006CT Value <undefined> for parameter Datafolder in section "
       "[Data]: the parameter is required. Execution canceled."},
      {"datafolder begins with err", "[Data]\nDatafolder=errors\n" + base,
       "ZARNCPA006CT Value <undefined> for parameter Datafolder in section "
       "[Data]: the parameter is required. Execution canceled."},
      {"datafolder missing", "[Data]\nDatafolder=@D@/nope\n" + base,
       "ZARNCPA003CT The folder '@D@/nope' given by parameter Datafolder does "
       "not exist. Execution canceled."},
      {"bad files expression", "[Data]\nDatafolder=@D@\nFiles=(txt\n" + base,
       "ZARNCPA008CT The regular expression '(txt' of parameter Files is not "
       "valid. Execution canceled."},
      {"no zarnfolder", "[Data]\nDatafolder=@D@\nStart=prog.zarn\n",
       "ZARNCPA006CT Value <undefined> for parameter Zarnfolder in section "
       "[Data]: the parameter is required. Execution canceled."},
      {"zarnfolder missing",
       "[Data]\nDatafolder=@D@\nZarnfolder=@P@/x\nStart=prog.zarn\n",
       "ZARNCPA003CT The folder '@P@/x' given by parameter Zarnfolder does "
       "not exist. Execution canceled."},
      {"no start", "[Data]\nDatafolder=@D@\nZarnfolder=@P@\n",
       "ZARNCPA006CT Value <undefined> for parameter Start in section [Data]: "
       "the parameter is required. Execution canceled."},
      {"start missing",
       "[Data]\nDatafolder=@D@\nZarnfolder=@P@\nStart=sub/none.zarn\n",
       "ZARNCPA002CT The program file 'sub/none.zarn' named by parameter "
       "Start does not exist in the Zarnfolder. Execution canceled."},
      {"log n", "[Data]\nDatafolder=@D@\n" + base + "[Log]\nLog=n\n",
       "ZARNCPA003CT The folder '' given by parameter Log does not exist. "
       "Execution canceled."},
      {"log folder missing",
       "[Data]\nDatafolder=@D@\n" + base + "[Log]\nLog=@D@/no/x.log\n",
       "ZARNCPA003CT The folder '@D@/no' given by parameter Log does not "
       "exist. Execution canceled."},
  };
  WriteProgram("");
  for (const ParamCase& c : cases) {
    WriteFile(ParamPath(), Fill(c.params, data_, prog_));
    RunResult r = Run();
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err, "Zarn 2.0: " + Fill(c.report, data_, prog_) + "\n")
        << c.name;
    EXPECT_FALSE(Exists(LogPath())) << c.name;
    // The writability test leaves nothing behind.
    EXPECT_EQ(Entries(data_), std::vector<std::string>{}) << c.name;
  }
}

TEST_F(Startup, LogThatCannotBeWrittenStopsWithItsReport) {
  MakeFolder("zarn.log");  // a folder where the log should be
  WriteParams();
  WriteProgram("");
  RunResult r = Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: ZARNCPA004CT The log file '" + LogPath() +
                       "' cannot be written (error 21). Execution canceled.\n");
}

TEST_F(Startup, MissingMessageFile) {
  std::string bin = root_ + "/bin";
  ::mkdir(bin.c_str(), 0755);
  WriteFile(bin + "/zarn", ReadFile(Binary()));
  ::chmod((bin + "/zarn").c_str(), 0755);
  WriteParams();
  WriteProgram("");
  RunResult r = RunProgram({bin + "/zarn", ParamPath()}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Zarn 2.0: File \"zarn_msg.ini\" is not found.\r\n" + kCanceled +
                "\n");
  EXPECT_FALSE(Exists(LogPath()));

  // A message file that lacks the code shows the missing marker instead.
  WriteFile(bin + "/zarn_msg.ini", "[CheckParameters]\n");
  WriteFile(ParamPath(), "[Data]\nZarnfolder=" + prog_ + "\n");
  r = RunProgram({bin + "/zarn", ParamPath()}, root_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Zarn 2.0: ERROR: no value for key ZARNCPA006CT in section "
                   "[CheckParameters] of " + bin + "/zarn_msg.ini\n");
}

TEST_F(Startup, LogAppendAddsTheBanner) {
  WriteFile(root_ + "/old.log", "earlier run\r\n");
  WriteParams("", "[Log]\nLog=" + root_ + "/old.log\nLogappend=no\n");
  WriteProgram("");
  RunResult r = Run();
  EXPECT_EQ(r.status, 0) << r.err;
  std::string log = ReadFile(root_ + "/old.log");
  EXPECT_EQ(log.rfind("earlier run\r\n=================== Zarn 2.0", 0), 0u);
  // Logappend=No (exactly) starts a new log.
  WriteParams("", "[Log]\nLog=" + root_ + "/old.log\nLogappend=No\n");
  r = Run();
  EXPECT_EQ(ReadFile(root_ + "/old.log").rfind("===================", 0), 0u);
}

}  // namespace
}  // namespace zarn::testing

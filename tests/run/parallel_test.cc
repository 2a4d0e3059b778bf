// Files in parallel give exactly the run of one file after another: the
// same tree, the same log line for line, the same exit status, whatever
// fails on the way; a program that carries state from file to file runs
// one file after another and says why; the shards of a split together
// give the tree of one run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <regex>
#include <sstream>

#include "run/e2e_fixture.h"
#include "run/shard.h"
#include "run/zarn_main.h"
#include "support/clock.h"
#include "support/faulty_real_file_system.h"

namespace zarn::testing {
namespace {

using Op = FaultyRealFileSystem::Op;

// Every foo becomes bar; a file that holds STOP ends the run.
constexpr char kEdit[] =
    "setc pat,foo\nsetc new,bar\nsetc stop,STOP\nloop\nfindup pat,b,hit,a\n"
    "if *rcf\nrep hit,new\ngbeg a\nelse\nendif\nlend not(*rcf)\n"
    "find stop,b,h,a\nif *rcf\nbogus\nelse\nendif\n";

// Every file below folder (hidden ones too) and its bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const std::string& e : Entries(folder)) {
    const std::string path = folder + "/" + e;
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      for (auto& [name, bytes] : Tree(path)) tree[e + "/" + name] = bytes;
    } else {
      tree[e] = ReadFile(path);
    }
  }
  return tree;
}

struct Outcome {
  int status = 0;
  std::vector<std::string> log;
  std::map<std::string, std::string> tree;
  int opened_before_first_write = 0;
};

class Parallel : public E2eTest {
 protected:
  // The data folder emptied, the log gone.
  void Reset() {
    ASSERT_EQ(std::system(
                  ("rm -rf '" + data_ + "' '" + root_ + "'/run*.log").c_str()),
              0);
    ::mkdir(data_.c_str(), 0755);
  }
  // 40 small files, three large ones, three folders of five.
  void MakeTree(const std::string& stop_file) {
    for (int i = 0; i < 40; ++i) {
      PutData("f" + std::to_string(100 + i) + ".txt",
              "foo " + std::to_string(i) + "\nand foo\n");
    }
    MakeFolder("big");
    std::string big;
    for (int i = 0; i < 4000; ++i)
      big += "some words, foo, " + std::to_string(i) + "\r\n";
    for (const char* name : {"big/x.txt", "big/y.txt", "big/z.txt"}) {
      PutData(name, big);
    }
    for (const char* folder : {"l", "m", "n"}) {
      MakeFolder(folder);
      for (int i = 0; i < 5; ++i) {
        PutData(std::string(folder) + "/g" + std::to_string(i) + ".txt", "foo");
      }
    }
    if (!stop_file.empty()) PutData(stop_file, "foo STOP");
  }

  Outcome RunWith(int jobs, const std::string& stop_file, Op op,
                  const std::string& path, int err, bool backup) {
    Reset();
    MakeTree(stop_file);
    WriteJob(kEdit);
    FaultyRealFileSystem fs;
    if (!path.empty()) fs.Fail(op, path, err);
    Outcome outcome;
    bool written = false;
    fs.before_open = [&](const std::string&) {
      if (!written) ++outcome.opened_before_first_write;
    };
    fs.after_rename = [&](const std::string& to) {
      written = written || to.find(data_) == 0;
    };
    FakeClock clock(LocalTime{2026, 12, 7, 12, 0, 0});
    RunState st(fs, clock);
    st.AppFolder = std::string(ZARN_SOURCE_DIR) + "/data";
    st.ParmFile = ParamPath();
    st.options.jobs = jobs;
    if (backup) st.options.backup_suffix = ".bak";
    std::ostringstream report;
    outcome.status = Main(st, report);
    outcome.log = LogLinesOf(ReadFile(RunLog()));
    outcome.tree = Tree(data_);
    return outcome;
  }
};

TEST_F(Parallel, FourWorkersGiveTheSequentialTreeLogAndStatus) {
  const struct {
    const char* stop_file;
    Op op;
    const char* path;
    int err;
    bool backup;
    int status;
  } cases[] = {
      {"", Op::kRead, "", 0, false, 0},
      {"f120.txt", Op::kRead, "", 0, false, 2},
      {"", Op::kList, "/data/m", EACCES, false, 3},
      {"", Op::kRead, "/data/f107.txt", EIO, false, 3},
      {"", Op::kWrite, "/.f111.txt.zarn-", ENOSPC, false, 3},
      {"", Op::kRename, "/data/big/y.txt", EIO, false, 3},
      {"f130.txt", Op::kWrite, "/.f105.txt.bak.zarn-", ENOSPC, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stop_file) + " " + c.path);
    const Outcome one = RunWith(1, c.stop_file, c.op, c.path, c.err, c.backup);
    const Outcome four = RunWith(4, c.stop_file, c.op, c.path, c.err, c.backup);
    EXPECT_EQ(one.status, c.status);
    EXPECT_EQ(four.status, c.status);
    EXPECT_EQ(one.log, four.log);
    EXPECT_EQ(one.tree, four.tree);
    // The workers really ran ahead of the write-backs.
    EXPECT_EQ(one.opened_before_first_write, 1);
    EXPECT_GT(four.opened_before_first_write, 1);
  }
}

// A file read ahead under a second path of a file replaced before its turn
// is read again in its turn: the second path sees the first one's result.
TEST_F(Parallel, SecondPathOfAReplacedFileIsReadInItsTurn) {
  PutData("a.txt", "foo");
  std::vector<std::string> args = {Binary(), "--jobs", "4", "-e",
                                   "set *filestring,sr(*filestring,o,oo)"};
  // Five paths of one file, each run on what the one before it wrote.
  for (std::string dots; dots.size() < 10; dots += "./") {
    args.push_back(data_ + "/" + dots + "a.txt");
  }
  const RunResult r = RunProgram(args, root_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data("a.txt"), "f" + std::string(64, 'o'));
}

// A run that stops on a file ends the programs the workers run on the
// files after it, even an endless one, which a sequential run never began.
TEST_F(Parallel, StopEndsTheProgramsOfTheFilesAfterIt) {
  PutData("a.txt", "STOP");
  PutData("b.txt", "b");
  PutData("c.txt", "c");
  // Killed after 20 s: a hang fails the test instead of hanging it.
  std::vector<std::string> args = {
      "/usr/bin/timeout", "-s",      "KILL",   "20",
      Binary(),           "--quiet", "--jobs", "3"};
  for (const char* op : {"setc stop,STOP", "find stop,b,h,a", "if *rcf",
                         "bogus", "else", "endif", "loop", "lend 0"}) {
    args.insert(args.end(), {"-e", op});
  }
  args.insert(args.end(),
              {data_ + "/a.txt", data_ + "/b.txt", data_ + "/c.txt"});
  EXPECT_EQ(RunProgram(args, root_).status, 2);
  EXPECT_EQ(Data("b.txt"), "b");
}

// The default log lies in the data folder and is processed like a data
// file, in its turn, with the lines logged before it; nothing is left
// behind of the files the workers prepared.
TEST_F(Parallel, LogInTheDataFolderIsReadInItsTurn) {
  std::map<std::string, std::string> trees[2];
  for (int run = 0; run < 2; ++run) {
    Reset();
    for (int i = 0; i < 30; ++i)
      PutData("f" + std::to_string(i) + ".txt", "foo");
    WriteParams();
    WriteProgram("set *filestring,sr(*filestring,o,0)\n");
    EXPECT_EQ(Run({"--jobs", run == 0 ? "1" : "4"}).status, 0);
    trees[run] = Tree(data_);
    std::string& log = trees[run]["zarn.log"];
    // The log's own text went through the program too: so did the data
    // folder's name in it (a temporary name may hold an o).
    log = ReplaceEvery(std::regex_replace(log, std::regex("[0-9:|-]{19} "), ""),
                       ReplaceEvery(data_, "o", "0"), "");
  }
  EXPECT_EQ(trees[0], trees[1]);
  EXPECT_NE(trees[1]["zarn.log"].find("Pr0cessing file '/zarn.l0g'"),
            std::string::npos);
}

TEST_F(Parallel, CarriedStateRunsOneFileAfterAnotherAndSaysWhy) {
  const struct {
    const char* program;
    const char* why;
  } cases[] = {
      {"cat c,c,*comma\nrep *filerange,c\n", "operation 1 reads c"},
      {"set *filestring,w\nsetc w,seen\n", "operation 1 reads w"},
      {"set *filestring,*allfiles\n", "operation 1 reads *allfiles"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    std::map<std::string, std::string> trees[2];
    std::vector<std::string> logs[2];
    for (int run = 0; run < 2; ++run) {
      for (const char* name : {"a.txt", "b.txt", "c.txt"}) PutData(name, "x");
      WriteJob(c.program);
      const RunResult r = Run({"--jobs", run == 0 ? "1" : "4"});
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.err, run == 0
                           ? ""
                           : "Zarn 2.0: the files run one after another: " +
                                 std::string(c.why) +
                                 " left by the previous file\n");
      trees[run] = Tree(data_);
      logs[run] = LogLinesOf(ReadFile(RunLog()));
    }
    EXPECT_EQ(trees[0], trees[1]);
    EXPECT_NE(trees[0]["a.txt"], trees[0]["c.txt"]);
    EXPECT_EQ(logs[0], logs[1]);
    // Nor can such a program be split.
    const RunResult shard = Run({"--shard", "0/2"});
    EXPECT_EQ(shard.status, 64);
    EXPECT_NE(
        shard.err.find("cannot be split over runs: " + std::string(c.why)),
        std::string::npos);
  }
}

// Four shards started at once by GNU parallel, each with its own log,
// process every file exactly once: the tree of a single run.
TEST_F(Parallel, FourShardsGiveTheTreeOfOneRun) {
  if (!Exists("/usr/bin/parallel")) GTEST_SKIP() << "GNU parallel missing";
  MakeTree("");
  WriteJob(kEdit);
  ASSERT_EQ(Run({"--jobs", "1"}).status, 0);
  const auto single = Tree(data_);
  int processed = 0;
  for (const std::string& line : LogLinesOf(ReadFile(RunLog()))) {
    processed += line.find("ZARNPFI003CI") != std::string::npos;
  }
  Reset();
  MakeTree("");
  const RunResult r =
      RunProgram({"/usr/bin/parallel", "--will-cite", "-j4", Binary(),
                  "--shard", "{}/4", ParamPath(), ":::", "0", "1", "2", "3"},
                 root_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Tree(data_), single);
  int shard_processed = 0;
  for (int k = 0; k < 4; ++k) {
    const std::string log =
        ReadFile(root_ + "/run.shard-" + std::to_string(k) + "-of-4.log");
    for (const std::string& line : LogLinesOf(log)) {
      shard_processed += line.find("ZARNPFI003CI") != std::string::npos;
    }
  }
  EXPECT_EQ(shard_processed, processed);
}

// The split is documented as FNV-1a (64 bits) modulo N: pinned by the
// published test vectors, so that no later build moves a file to another
// shard.
TEST(Shard, HashAndLogNamesAreTheDocumentedOnes) {
  EXPECT_EQ(Fnv1a64(""), 14695981039346656037ULL);
  EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(Fnv1a64("foobar"), 0x85944171f73967e8ULL);
  EXPECT_EQ(ShardOf("foobar", 7),
            static_cast<int64_t>(0x85944171f73967e8ULL % 7));
  EXPECT_EQ(ShardLogName("/x/run.log", 2, 4), "/x/run.shard-2-of-4.log");
  EXPECT_EQ(ShardLogName("/x.d/zarn", 0, 2), "/x.d/zarn.shard-0-of-2");
  EXPECT_EQ(ShardLogName("/x/.log", 1, 3), "/x/.log.shard-1-of-3");
}

}  // namespace
}  // namespace zarn::testing

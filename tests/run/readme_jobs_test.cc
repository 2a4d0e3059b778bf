// The one-command jobs of the README, each run as written on a tree of
// awkward files, must leave exactly the tree that the perl command shown
// under it leaves: perl is the reference.
#include <filesystem>
#include <map>

#include "run/e2e_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

struct Job {
  std::string name, zarn, perl;
};

// After each "<!-- job: NAME -->": the zarn command, then the perl one.
std::vector<Job> JobsOfTheReadme() {
  const std::string readme = SourceFile("README.md"), mark = "<!-- job: ";
  std::vector<Job> jobs;
  for (size_t at = readme.find(mark); at != std::string::npos;
       at = readme.find(mark, at + 1)) {
    Job job;
    job.name = readme.substr(at + mark.size(),
                             readme.find(" -->", at) - at - mark.size());
    size_t pos = at;
    for (std::string* command : {&job.zarn, &job.perl}) {
      const size_t body = readme.find('\n', readme.find("```sh", pos)) + 1;
      pos = readme.find("```", body);
      *command = readme.substr(body, pos - body);
      pos += 3;
    }
    jobs.push_back(job);
  }
  return jobs;
}

// Every file below root by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file()) {
      files[fs::relative(e.path(), root).string()] = ReadFile(e.path());
    }
  }
  return files;
}

// A file no job selects: every job leaves it alone.
constexpr char kBinary[] =
    "\x89PNG\r\n\x1a\n\0colour\rCopyright 2019\nold_name,a\xff version = "
    "\"1.2.3\"";

class ReadmeJobs : public E2eTest {
 protected:
  void SetUp() override {
    E2eTest::SetUp();
    const std::map<std::string, std::string> files = {
        {"src/main.c", "/* Copyright 2019 ACME */\nint main(void);\n"},
        {"src/util file.h", "// Copyright 2021\r\n// copyright 2020\r\n"},
        {"src/end.c", "int x;\n// Copyright 2018, Copyright 2017"},
        {"py/app.py", "old_name = 1\r\nprint(old_names, old_name)\r\n"},
        {"py/more code.py", "def old_name(): return OLD_NAME"},
        {"csv/table.csv", "a,b,c\r\nd,e\r\nsingle\r\n,x\r\n"},
        {"csv/two words.csv", "1,2\n\n3,4"},
        {"notes/list.txt", "alpha\r\nbeta\r\n\r\ngamma"},
        {"notes/one.txt", "x"},
        {"notes/empty.txt", ""},
        {"notes/fr.txt",
         "La Colour, COLOUR et colourful \xe2\x80\x94 caf\xc3\xa9 colour\n"},
        {"pkg/pyproject.toml", "name = \"x\"\r\nversion = \"1.2.9\"\r\n"},
        {"pkg/other one.toml", "version = \"0.10.99\""},
        {"logo.png", std::string(kBinary, sizeof kBinary - 1)},
    };
    for (const auto& [name, bytes] : files) {
      fs::create_directories(fs::path(data_ + "/" + name).parent_path());
      WriteFile(data_ + "/" + name, bytes);
    }
  }

  // Runs a shell command in a copy of the tree; the copy's files after.
  std::map<std::string, std::string> RunIn(const std::string& copy,
                                           const std::string& command,
                                           RunResult* r) {
    const std::string folder = root_ + "/" + copy;
    fs::copy(data_, folder, fs::copy_options::recursive);
    const std::string bin = fs::path(Binary()).parent_path().string();
    *r = RunProgram({"/bin/sh", "-c", "PATH='" + bin + "':$PATH\n" + command},
                    root_, nullptr, folder);
    return Tree(folder);
  }
};

TEST_F(ReadmeJobs, GiveWhatPerlGives) {
  const std::vector<Job> jobs = JobsOfTheReadme();
  ASSERT_EQ(jobs.size(), 7u);
  const std::map<std::string, std::string> before = Tree(data_);
  for (const Job& job : jobs) {
    SCOPED_TRACE(job.name);
    RunResult by_zarn, by_perl;
    const auto zarn = RunIn("zarn " + job.name, job.zarn, &by_zarn);
    const auto perl = RunIn("perl " + job.name, job.perl, &by_perl);
    ASSERT_EQ(by_perl.status, 0) << by_perl.err;
    EXPECT_EQ(by_zarn.status, 0) << by_zarn.err;
    EXPECT_EQ(by_zarn.out + by_zarn.err, "");
    EXPECT_NE(perl, before);  // the job has something to do
    for (const auto& [name, bytes] : perl) {
      EXPECT_EQ(zarn.count(name) ? zarn.at(name) : "<missing>", bytes) << name;
    }
    EXPECT_EQ(zarn.size(), perl.size());
  }
}

}  // namespace
}  // namespace zarn::testing

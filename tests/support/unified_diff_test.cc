// The line diff: checked against a slow, obviously correct longest common
// subsequence, and its unified output applied back by patch, over many
// generated texts.
#include "support/unified_diff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "run/e2e_fixture.h"

namespace zarn {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t pos = 0, end; pos < text.size(); pos = end) {
    end = std::min(text.find('\n', pos), text.size() - 1) + 1;
    lines.push_back(text.substr(pos, end - pos));
  }
  return lines;
}

// The length of a longest common subsequence of lines, by the textbook
// table.
int64_t LcsLength(const std::vector<std::string>& a,
                  const std::vector<std::string>& b) {
  std::vector<std::vector<int64_t>> t(a.size() + 1,
                                      std::vector<int64_t>(b.size() + 1));
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) {
      t[i][j] = a[i] == b[j] ? t[i + 1][j + 1] + 1
                             : std::max(t[i + 1][j], t[i][j + 1]);
    }
  }
  return t[0][0];
}

// The old lines with the regions replaced by their new lines.
std::string ApplyRegions(const std::string& old_text,
                         const std::string& new_text,
                         const std::vector<DiffRegion>& regions) {
  const std::vector<std::string> a = SplitLines(old_text);
  const std::vector<std::string> b = SplitLines(new_text);
  std::string out;
  int64_t i = 0;
  for (const DiffRegion& r : regions) {
    for (; i < r.old_begin; ++i) out += a.at(i);
    for (int64_t j = r.new_begin; j < r.new_end; ++j) out += b.at(j);
    i = r.old_end;
  }
  for (; i < static_cast<int64_t>(a.size()); ++i) out += a[i];
  return out;
}

int64_t ChangedLines(const std::vector<DiffRegion>& regions) {
  int64_t n = 0;
  for (const DiffRegion& r : regions) {
    n += (r.old_end - r.old_begin) + (r.new_end - r.new_begin);
  }
  return n;
}

// Random texts over a few distinct lines, so that there is much to match;
// some lines end in CR LF, some texts lack the final LF.
std::string RandomText(std::mt19937& rng, int max_lines) {
  static const char* kLines[] = {"a\n", "b\n", "c\n", "a\r\n", "\n", "dd\n"};
  std::uniform_int_distribution<int> count(0, max_lines);
  std::uniform_int_distribution<int> pick(0, 5);
  std::string text;
  int n = count(rng);
  for (int i = 0; i < n; ++i) text += kLines[pick(rng)];
  if (!text.empty() && rng() % 4 == 0) text.pop_back();
  return text;
}

// Without a cut the script is a shortest one; with any cut it is still
// right.
TEST(UnifiedDiffTest, ShortestScriptOnGeneratedTexts) {
  std::mt19937 rng(7);
  for (int64_t cost : {0, 1, 2, 3, 5}) {
    for (int round = 0; round < 2000; ++round) {
      const std::string a = RandomText(rng, cost ? 40 : 14);
      const std::string b = RandomText(rng, cost ? 40 : 14);
      DiffOptions options;
      options.split_cost = cost;
      const std::vector<DiffRegion> regions = DiffLines(a, b, options);
      SCOPED_TRACE("cost " + std::to_string(cost) + "\n" + a + "|\n" + b);
      ASSERT_EQ(ApplyRegions(a, b, regions), b);
      std::vector<std::string> la = SplitLines(a), lb = SplitLines(b);
      if (cost == 0) {
        EXPECT_EQ(ChangedLines(regions),
                  static_cast<int64_t>(la.size() + lb.size()) -
                      2 * LcsLength(la, lb));
      }
    }
  }
}

// Many generated pairs, each one file of a single patch (with changes of
// every kind, CR LF lines, last lines without LF, little or no context,
// cut searches and a spent budget), applied by patch to the old texts.
TEST(UnifiedDiffTest, PatchTurnsTheOldTextsIntoTheNewOnes) {
  char folder[] = "/tmp/zarn-diff-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  std::mt19937 rng(3);
  std::vector<std::string> wanted;
  std::string patch;
  for (int i = 0; i < 800; ++i) {
    const std::string a = RandomText(rng, 30), b = RandomText(rng, 30);
    DiffOptions options;
    options.context = i % 4;
    if (i % 5 == 0) options.split_cost = 1 + i % 3;
    if (i % 7 == 0) options.work_budget = i % 3;
    testing::WriteFile(std::string(folder) + "/f" + std::to_string(i), a);
    patch += UnifiedDiff("f" + std::to_string(i), a, b, options);
    wanted.push_back(b);
  }
  testing::WriteFile(std::string(folder) + "/all.patch", patch);
  const std::string cd = std::string("cd ") + folder + " && ";
  ASSERT_EQ(std::system((cd + "patch -s -p1 < all.patch").c_str()), 0);
  for (size_t i = 0; i < wanted.size(); ++i) {
    EXPECT_EQ(testing::ReadFile(std::string(folder) + "/f" + std::to_string(i)),
              wanted[i])
        << "f" << i;
  }
  ASSERT_EQ(std::system((std::string("rm -rf ") + folder).c_str()), 0);
}

struct FormatCase {
  const char* name;
  std::string old_text;
  std::string new_text;
  std::string diff;
};

TEST(UnifiedDiffTest, Format) {
  const FormatCase cases[] = {
      {"one changed line", "1\n2\n3\n4\n5\n6\n7\n8\n9\n",
       "1\n2\n3\n4\nV\n6\n7\n8\n9\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+V\n 6\n"
       " 7\n 8\n"},
      {"changes far apart make two hunks", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n",
       "X\n2\n3\n4\n5\n6\n7\n8\n9\nY\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,4 +1,4 @@\n-1\n+X\n 2\n 3\n 4\n"
       "@@ -7,4 +7,4 @@\n 7\n 8\n 9\n-10\n+Y\n"},
      {"changes six lines apart share a hunk", "1\n2\n3\n4\n5\n6\n7\n8\n",
       "X\n2\n3\n4\n5\n6\n7\nY\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,8 +1,8 @@\n-1\n+X\n 2\n 3\n 4\n 5\n"
       " 6\n 7\n-8\n+Y\n"},
      {"a final LF added", "a\nb", "a\nb\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,2 +1,2 @@\n a\n-b\n"
       "\\ No newline at end of file\n+b\n"},
      {"lone CR at the end", "a\r", "b\r",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1 +1 @@\n-a\r\n"
       "\\ No newline at end of file\n+b\r\n\\ No newline at end of file\n"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(UnifiedDiff("f.txt", c.old_text, c.new_text), c.diff) << c.name;
  }
}

}  // namespace
}  // namespace zarn

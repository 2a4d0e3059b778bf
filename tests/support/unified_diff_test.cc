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
  size_t pos = 0;
  while (pos < text.size()) {
    size_t lf = text.find('\n', pos);
    size_t end = lf == std::string::npos ? text.size() : lf + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
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

// Applies the regions to the old lines; also checks that the lines between
// regions really are equal.
std::string ApplyRegions(const std::string& old_text,
                         const std::string& new_text,
                         const std::vector<DiffRegion>& regions) {
  std::vector<std::string> a = SplitLines(old_text), b = SplitLines(new_text);
  std::string out;
  int64_t i = 0, j = 0;
  auto copy_equal = [&](int64_t until_i) {
    for (; i < until_i; ++i, ++j) {
      if (j >= static_cast<int64_t>(b.size()) || a[i] != b[j]) {
        ADD_FAILURE() << "unchanged line " << i << " differs";
        return;
      }
      out += a[i];
    }
  };
  for (const DiffRegion& r : regions) {
    EXPECT_LE(i, r.old_begin);
    EXPECT_LE(r.old_begin, r.old_end);
    EXPECT_LE(r.new_begin, r.new_end);
    copy_equal(r.old_begin);
    EXPECT_EQ(j, r.new_begin);
    for (j = r.new_begin; j < r.new_end; ++j) out += b[j];
    i = r.old_end;
  }
  copy_equal(static_cast<int64_t>(a.size()));
  EXPECT_EQ(j, static_cast<int64_t>(b.size()));
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

TEST(UnifiedDiffTest, ShortestScriptOnGeneratedTexts) {
  std::mt19937 rng(7);
  for (int round = 0; round < 4000; ++round) {
    std::string a = RandomText(rng, 14), b = RandomText(rng, 14);
    std::vector<DiffRegion> regions = DiffLines(a, b);
    ASSERT_EQ(ApplyRegions(a, b, regions), b) << a << "|" << b;
    std::vector<std::string> la = SplitLines(a), lb = SplitLines(b);
    EXPECT_EQ(
        ChangedLines(regions),
        static_cast<int64_t>(la.size() + lb.size()) - 2 * LcsLength(la, lb))
        << "not a shortest script for\n"
        << a << "|\n"
        << b;
  }
}

TEST(UnifiedDiffTest, CutSearchesStayCorrect) {
  std::mt19937 rng(11);
  for (int64_t cost : {1, 2, 3, 5}) {
    for (int round = 0; round < 1500; ++round) {
      std::string a = RandomText(rng, 40), b = RandomText(rng, 40);
      DiffOptions options;
      options.split_cost = cost;
      ASSERT_EQ(ApplyRegions(a, b, DiffLines(a, b, options)), b)
          << "cost " << cost << "\n"
          << a << "|\n"
          << b;
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
      {"equal texts give nothing", "a\nb\n", "a\nb\n", ""},
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
      {"insertion into an empty text", "", "a\nb\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -0,0 +1,2 @@\n+a\n+b\n"},
      {"a final LF added", "a\nb", "a\nb\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,2 +1,2 @@\n a\n-b\n"
       "\\ No newline at end of file\n+b\n"},
      {"unchanged last line without LF is context with the marker", "x\nlast",
       "y\nlast",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,2 +1,2 @@\n-x\n+y\n last\n"
       "\\ No newline at end of file\n"},
      {"lone CR at the end", "a\r", "b\r",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1 +1 @@\n-a\r\n"
       "\\ No newline at end of file\n+b\r\n\\ No newline at end of file\n"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(UnifiedDiff("f.txt", c.old_text, c.new_text), c.diff) << c.name;
  }
}

TEST(UnifiedDiffTest, NamesThatPatchWouldMisreadAreQuoted) {
  EXPECT_EQ(UnifiedDiff("q\"\\\n.txt", "a\n", "b\n").substr(0, 40),
            "--- \"a/q\\\"\\\\\\n.txt\"\n+++ \"b/q\\\"\\\\\\n.txt\"\n");
}

}  // namespace
}  // namespace zarn

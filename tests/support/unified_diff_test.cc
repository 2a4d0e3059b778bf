// The line diff: checked against a slow, obviously correct longest common
// subsequence, and its unified output applied back by a small patcher of
// the tests' own, over many generated texts.
#include "support/unified_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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

// A strict reader of one file's unified diff that applies it to the old
// text the way patch does: context and removed lines must match exactly,
// the hunk counts must add up, and "\ No newline" drops the LF of the line
// before it.
bool ApplyUnified(const std::string& old_text, const std::string& diff,
                  std::string* result, std::string* error) {
  std::vector<std::string> a = SplitLines(old_text);
  std::vector<std::string> d = SplitLines(diff);
  size_t k = 0;
  if (d.size() < 2 || d[0].rfind("--- a/", 0) != 0 ||
      d[1].rfind("+++ b/", 0) != 0) {
    *error = "no header";
    return false;
  }
  k = 2;
  std::string out;
  int64_t next_old = 0;  // first old line not yet copied
  int64_t old_shift = 0;
  while (k < d.size()) {
    long os = 0, oc = 1, ns = 0, nc = 1;
    const std::string& h = d[k];
    if (std::sscanf(h.c_str(), "@@ -%ld,%ld +%ld,%ld @@", &os, &oc, &ns, &nc) !=
        4) {
      oc = nc = 1;
      if (std::sscanf(h.c_str(), "@@ -%ld +%ld,%ld @@", &os, &ns, &nc) != 3 &&
          std::sscanf(h.c_str(), "@@ -%ld,%ld +%ld @@", &os, &oc, &ns) != 3 &&
          std::sscanf(h.c_str(), "@@ -%ld +%ld @@", &os, &ns) != 2) {
        *error = "bad hunk header: " + h;
        return false;
      }
    }
    ++k;
    const int64_t start = oc == 0 ? os : os - 1;  // 0-based first old line
    if (start < next_old) {
      *error = "hunks out of order";
      return false;
    }
    for (; next_old < start; ++next_old) out += a[next_old];
    long seen_old = 0, seen_new = 0;
    while (k < d.size() && (seen_old < oc || seen_new < nc)) {
      const std::string& line = d[k++];
      if (line.size() < 2 || line.back() != '\n') {
        *error = "truncated line";
        return false;
      }
      // The marker after a line says that the line has no LF.
      std::string body = line.substr(1);
      if (k < d.size() && d[k] == "\\ No newline at end of file\n") {
        body.pop_back();
        ++k;
      }
      if (line[0] == ' ' || line[0] == '-') {
        if (next_old >= static_cast<int64_t>(a.size()) || a[next_old] != body) {
          *error = "mismatch at old line " + std::to_string(next_old);
          return false;
        }
        ++next_old;
        ++seen_old;
      }
      if (line[0] == ' ' || line[0] == '+') {
        out += body;
        ++seen_new;
      }
      if (line[0] != ' ' && line[0] != '-' && line[0] != '+') {
        *error = "bad line: " + line;
        return false;
      }
    }
    if (seen_old != oc || seen_new != nc) {
      *error = "hunk counts do not add up: " + h;
      return false;
    }
    // The new start must be where the earlier hunks put this old line.
    const int64_t new_start = nc == 0 ? ns : ns - 1;
    if (new_start != start + old_shift) {
      *error = "new start does not follow: " + h;
      return false;
    }
    old_shift += nc - oc;
  }
  for (; next_old < static_cast<int64_t>(a.size()); ++next_old) {
    out += a[next_old];
  }
  *result = out;
  return true;
}

void ExpectRoundTrip(const std::string& old_text, const std::string& new_text,
                     const DiffOptions& options = {}) {
  std::string diff = UnifiedDiff("f.txt", old_text, new_text, options);
  if (old_text == new_text) {
    EXPECT_EQ(diff, "");
    return;
  }
  std::string result, error;
  ASSERT_TRUE(ApplyUnified(old_text, diff, &result, &error)) << error << "\n"
                                                             << diff;
  EXPECT_EQ(result, new_text) << diff;
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

TEST(UnifiedDiffTest, SpentBudgetGivesOneRegionForTheRest) {
  std::string a = "same\nx1\nx2\nsame2\ny\nend\n";
  std::string b = "same\nz1\nsame2\nw\nend\n";
  DiffOptions options;
  options.work_budget = 0;
  std::vector<DiffRegion> regions = DiffLines(a, b, options);
  // The common first and last lines are still found; the middle is one.
  EXPECT_EQ(regions, (std::vector<DiffRegion>{{1, 5, 1, 4}}));
  EXPECT_EQ(ApplyRegions(a, b, regions), b);
  ExpectRoundTrip(a, b, options);
}

TEST(UnifiedDiffTest, GeneratedTextsRoundTripThroughTheUnifiedForm) {
  std::mt19937 rng(3);
  for (int round = 0; round < 3000; ++round) {
    DiffOptions options;
    options.context = static_cast<int>(rng() % 4);
    ExpectRoundTrip(RandomText(rng, 30), RandomText(rng, 30), options);
  }
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
      {"everything removed", "a\n", "",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1 +0,0 @@\n-a\n"},
      {"CR stays part of the line", "a\r\nb\r\n", "a\r\nc\r\n",
       "--- a/f.txt\n+++ b/f.txt\n@@ -1,2 +1,2 @@\n a\r\n-b\r\n+c\r\n"},
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
      {"NUL bytes", std::string("a\0b", 3), "a",
       "Binary files a/f.txt and b/f.txt differ\n"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(UnifiedDiff("f.txt", c.old_text, c.new_text), c.diff) << c.name;
  }
}

TEST(UnifiedDiffTest, NamesThatPatchWouldMisreadAreQuoted) {
  EXPECT_EQ(UnifiedDiff("q\"\\\n.txt", "a\n", "b\n").substr(0, 40),
            "--- \"a/q\\\"\\\\\\n.txt\"\n+++ \"b/q\\\"\\\\\\n.txt\"\n");
}

// A 64 MB file in which every other line changes: the cut searches keep
// the work bounded, and the result still applies exactly.
TEST(UnifiedDiffTest, LargeFileWithManyChanges) {
  std::string a, b;
  const size_t target = size_t{64} << 20;
  a.reserve(target + 64);
  b.reserve(target + 64);
  for (int64_t i = 0; a.size() < target; ++i) {
    std::string line = "line " + std::to_string(i) + " of the big file\n";
    a += line;
    if (i % 2 == 0) line.replace(0, 4, "LINE");
    if (i % 1000 == 0) b += "inserted\n";
    if (i % 777 != 0) b += line;
  }
  std::vector<DiffRegion> regions = DiffLines(a, b);
  EXPECT_EQ(ApplyRegions(a, b, regions), b);
  // The cut searches still find the lines that stay: far fewer changed
  // lines than a rewrite of everything.
  std::vector<std::string> la = SplitLines(a);
  EXPECT_LT(ChangedLines(regions), static_cast<int64_t>(la.size()) * 3 / 2);
}

}  // namespace
}  // namespace zarn

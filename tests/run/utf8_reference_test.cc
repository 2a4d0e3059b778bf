// UTF-8 mode against an obviously correct model: a text is decoded into
// characters (a valid sequence, or else one byte), the operation applied to
// the characters, and the result encoded again. Every function that counts
// or cuts, and a find/rep scan loop, must give the model's bytes exactly
// over random texts of ASCII, 2-, 3- and 4-byte characters and invalid
// bytes. (chr, lc and uc, whose mapping is the C library's, are tested in
// tests/cases/encoding/utf8.case.)
#include <gtest/gtest.h>

#include <random>

#include "commands/run_state.h"
#include "run/file_loop.h"
#include "run/zarn_main.h"
#include "support/memory_file_system.h"
#include "support/regex.h"
#include "support/utf8.h"

namespace zarn {
namespace {

using Chars = std::vector<std::string>;  // one character (or byte) each

// Valid characters, then a stray byte, a lone lead and cut sequences; no
// lone continuation byte, so nothing joins when characters come or go.
const Chars kValid = {"a",
                      "b",
                      "A",
                      " ",
                      "\xc3\xa9",
                      "\xc3\x89",
                      "\xe2\x82\xac",
                      "\xf0\x9f\x98\x80",
                      "\xd0\xb4"};
const Chars kInvalid = {"\xff", "\xc0", "\xe9", "\xe2\x82", "\xf0\x9f\x98"};

// The definition: at each byte the valid sequence (lead and continuation
// bits, shortest form, no surrogate, at most 10FFFF) it begins, else the
// byte alone.
Chars Decode(const std::string& s) {
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  Chars out;
  for (size_t i = 0, len = 1; i < s.size(); i += len) {
    for (len = 4; len > 1; --len) {
      const unsigned lead = (0xFF00u >> len) & 0xFF;  // 110..., 1110...
      if (i + len > s.size() || (s[i] & (lead | lead >> 1)) != lead) continue;
      uint32_t cp = s[i] & (0x7F >> len);
      bool ok = true;
      for (size_t k = 1; k < len; ++k) {
        ok = ok && (s[i + k] & 0xC0) == 0x80;
        cp = cp << 6 | (s[i + k] & 0x3F);
      }
      if (ok && cp >= kMin[len] && cp <= 0x10FFFF && cp >> 11 != 0x1B) break;
    }
    out.push_back(s.substr(i, len));
  }
  return out;
}

std::string Join(const Chars& c, size_t from = 0, size_t n = SIZE_MAX) {
  std::string out;
  for (size_t i = from; i < c.size() && i - from < n; ++i) out += c[i];
  return out;
}

size_t Find(const Chars& t, const Chars& s, size_t from) {
  for (size_t i = from; i + s.size() <= t.size(); ++i) {
    if (std::equal(s.begin(), s.end(), t.begin() + i)) return i;
  }
  return SIZE_MAX;
}

// Decode makes a piece of several bytes of a valid sequence only.
bool IsValid(const std::string& c) { return c.size() > 1 || c[0] >= 0; }

class Utf8Reference : public ::testing::Test {
 protected:
  // A random text; pieces written by setc have "_" for a blank, which
  // setc would lose at either end.
  Chars Random(size_t max, bool invalid = true, bool blank = true) {
    std::string t;
    for (size_t n = rng_() % (max + 1); n > 0; --n) {
      const std::string& c = invalid && rng_() % 4 == 0
                                 ? kInvalid[rng_() % kInvalid.size()]
                                 : kValid[rng_() % kValid.size()];
      t += c == " " && !blank ? "_" : c;
    }
    return Decode(t);
  }
  std::mt19937 rng_{20261207};
};

// The count, sixteen or thirty-two bytes at a time where it can, over long
// texts with the edges of the valid forms: overlong, surrogate, too large
// and cut sequences.
TEST_F(Utf8Reference, CountMatchesTheDefinition) {
  // Valid forms first, then invalid ones.
  const Chars pieces = {"a",
                        "\xc2\x80",
                        "\xdf\xbf",
                        "\xe0\xa0\x80",
                        "\xed\x9f\xbf",
                        "\xef\xbf\xbf",
                        "\xf4\x8f\xbf\xbf",
                        "\xf0\x90\x80\x80",
                        "\xe0\x9f\xbf",
                        "\xf0\x8f\xbf\xbf",
                        "\xf4\x90\x80\x80",
                        "\xf5\x80\x80\x80",
                        "\xc2",
                        "\xed\xa0\x80",
                        "\xc1\xbf",
                        "\x80",
                        "\xe2\x82"};
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    // Some texts mostly ASCII (skipped in blocks); some valid but for
    // one invalid piece put anywhere, even into a character.
    for (size_t n = rng_() % 120; n > 0; --n) {
      s += round % 5 == 0 && rng_() % 4 != 0
               ? "a"
               : pieces[rng_() % (round % 3 ? 8 : pieces.size())];
    }
    // Long stretches of ASCII, which are passed 128 bytes at a time.
    if (round % 4 == 3) {
      s.insert(rng_() % (s.size() + 1), std::string(rng_() % 400, 'a'));
    }
    if (round % 3 == 1) {
      s.insert(rng_() % (s.size() + 1),
               pieces[8 + rng_() % (pieces.size() - 8)]);
    }
    const Chars want = Decode(s);
    bool valid = false;
    ASSERT_EQ(CountChars(s, &valid), want.size())
        << ::testing::PrintToString(s);
    EXPECT_EQ(valid, std::all_of(want.begin(), want.end(), IsValid));
    if (!valid) continue;
    // The walks of a text known to be valid.
    ASSERT_EQ(CountCharStarts(s), want.size());
    const size_t k = rng_() % (want.size() + 1);
    ASSERT_EQ(SkipCharStarts(s, 0, k), Join(want, 0, k).size());
  }
}

// A pattern a search compiles without UTF matches, from every character
// start of random texts with the letters Unicode folds with k and s and
// invalid bytes, exactly where the UTF-8 compile does; k and s, excluded
// when case is ignored, do not.
TEST_F(Utf8Reference, PatternsMatchingAsBytes) {
  const Chars pieces = {"a",        "K",        "s",
                        "k",        "S",        "1",
                        " ",        "_",        "\xe2\x84\xaa",
                        "\xc5\xbf", "\xc3\xa9", "\xff",
                        "\xc3",     "\xe2\x84"};
  const std::string letters = "aKskS1 _";
  int differ = 0;
  for (int round = 0; round < 3000; ++round) {
    const bool ignore_case = round % 2 == 0;
    std::string pattern, text;
    for (size_t n = 1 + rng_() % 3; n > 0; --n) {
      pattern += letters[rng_() % letters.size()];
    }
    for (size_t n = rng_() % 30; n > 0; --n)
      text += pieces[rng_() % pieces.size()];
    Regex utf(pattern, {.ignore_case = ignore_case, .utf = true});
    Regex bytes(pattern, {.ignore_case = ignore_case});
    bool same = true;
    for (size_t at = 0; at <= text.size();
         at += at < text.size() ? CharLengthAt(text, at) : 1) {
      const MatchStatus a = utf.Match(text, at);
      size_t ab = 0, ae = 0, bb = 0, be = 0;
      same = same && a == bytes.Match(text, at) &&
             (a != MatchStatus::kMatch ||
              (utf.Group(0, &ab, &ae) && bytes.Group(0, &bb, &be) && ab == bb &&
               ae == be));
    }
    if (MatchesAsBytes(pattern, ignore_case)) {
      ASSERT_TRUE(same) << pattern << " in " << ::testing::PrintToString(text);
    }
    differ += !same;
  }
  EXPECT_GT(differ, 0);
}

TEST_F(Utf8Reference, FunctionsCountAndCutCharacters) {
  StrVarStore vars;
  RangeVarStore ranges;
  int32_t funr = 0;
  EvalContext ctx{vars, ranges, funr};
  ctx.env.utf8 = true;
  for (int round = 0; round < 3000; ++round) {
    Chars t = Random(12), s = Random(2), r = Random(3);
    if (t.empty()) t = {"a"};
    if (s.empty()) s = {"b"};
    vars.Set("t", Join(t));
    vars.Set("s", Join(s));
    vars.Set("r", Join(r));
    const size_t p = 1 + rng_() % t.size(), n = rng_() % (t.size() - p + 2);
    const std::string ps = std::to_string(p), ns = std::to_string(n);
    auto eval = [&](const std::string& e) { return Evaluate(e, ctx); };
    SCOPED_TRACE(::testing::PrintToString(Join(t)) + " s " +
                 ::testing::PrintToString(Join(s)) + " " + ps + " " + ns);

    EXPECT_EQ(eval("len(t)"), std::to_string(t.size()));
    const size_t at = Find(t, s, p - 1), first = Find(t, s, 0);
    EXPECT_EQ(eval("pos(t,s," + ps + ")"),
              at == SIZE_MAX ? "0" : std::to_string(at + 1));
    EXPECT_EQ(eval("mid(t," + ps + ")"), Join(t, p - 1));
    const size_t m = std::max<size_t>(n, 1);
    EXPECT_EQ(eval("mid(t," + ps + "," + std::to_string(m) + ")"),
              Join(t, p - 1, m));
    EXPECT_EQ(eval("rev(t)"), Join(Chars(t.rbegin(), t.rend())));
    EXPECT_EQ(eval("cop(t,2)"), Join(t) + Join(t));
    EXPECT_EQ(eval("gh(t,s)"), first == SIZE_MAX ? "" : Join(t, 0, first));
    EXPECT_EQ(eval("gt(t,s)"),
              first == SIZE_MAX ? "" : Join(t, first + s.size()));
    // sr: left to right, not overlapping, at most n + 1 of them.
    std::string replaced;
    size_t from = 0, done = 0;
    for (size_t hit; done <= n && (hit = Find(t, s, from)) != SIZE_MAX;
         ++done, from = hit + s.size()) {
      replaced += Join(t, from, hit - from) + Join(r);
    }
    EXPECT_EQ(eval("sr(t,s,r," + std::to_string(n + 1) + ")"),
              replaced + Join(t, from));
    // gw: the second word between any characters of s.
    Chars words = {""};
    for (const std::string& c : t) {
      if (Find(s, {c}, 0) == SIZE_MAX) {
        words.back() += c;
      } else if (!words.back().empty()) {
        words.push_back("");
      }
    }
    EXPECT_EQ(eval("gw(t,s,2)"), words.size() > 1 ? words[1] : "");
    // fill to n + 1 characters with copies of r (or a blank), cut.
    const Chars f = r.empty() ? Chars{" "} : r;
    const size_t len = n + 1, pad = len > t.size() ? len - t.size() : 0;
    Chars copies;
    while (copies.size() < len) copies.insert(copies.end(), f.begin(), f.end());
    const std::string fill = "fill(t," + std::to_string(len);
    EXPECT_EQ(eval(fill + ",1,r)"),
              pad == 0 ? Join(t, 0, len) : Join(t) + Join(copies, 0, pad));
    EXPECT_EQ(eval(fill + ",0,r)"),
              pad == 0 ? Join(t, t.size() - len)
                       : Join(copies, copies.size() - pad) + Join(t));
    // ovl: r over t from p, t padded with blanks to p characters.
    Chars base = t;
    while (base.size() < p) base.push_back(" ");
    EXPECT_EQ(eval("ovl(t,r," + ps + ")"),
              r.empty() ? Join(t)
                        : Join(base, 0, p - 1) + Join(r) +
                              Join(base, p - 1 + r.size()));
  }
}

TEST_F(Utf8Reference, FindAndRepScanLoop) {
  for (int round = 0; round < 300; ++round) {
    const Chars text = Random(30, round % 2 == 0);
    const Chars set = Random(3, false, false), repl = Random(2, false, false);
    const std::string pattern = set.empty() ? "." : "[" + Join(set) + "]";
    SCOPED_TRACE(::testing::PrintToString(Join(text)) + " " + pattern);
    MemoryFileSystem fs;
    FakeClock clock{LocalTime{2026, 1, 2, 3, 4, 5}};
    RunState st{fs, clock};
    fs.AddFile("/app/zarn_msg.ini", "");
    fs.AddFile("/prog/p.zarn",
               "setc p," + pattern + "\nsetc n," + Join(repl) +
                   "\nsetc log,L\nset more,1\nloop more\nfindup p,b,h,a\n"
                   "set more,*rcf\nif more\nset log,cs(log,len(rgs(b)),*blank,"
                   "*nctx,*blank)\nrep h,n\ngbeg a\nelse\nendif\n"
                   "lend not(more)\nset *filestring,cs(*filestring,log)\n");
    st.MsgFile = "/app/zarn_msg.ini";
    st.ZarnFolder = "/prog";
    st.ZarnStart = "p.zarn";
    InitSysVars(st.machine.StrVars, st.SysVars,
                SysVarSettings{"/app", "/", "/prog", "p.zarn", "/log", 0});
    InstallProgram(st);
    ASSERT_EQ(st.machine.ErrFlag, ErrorState::kNone);
    st.machine.SetEncoding(TextEncoding::kUtf8);
    std::string content = Join(text);
    int32_t changes = 0;
    RunOnFile(st.machine, content, changes);

    // The model: no match begins at the last character (the subject is
    // empty from there); the search goes on behind the new text.
    auto matches = [&](const std::string& c) {
      return IsValid(c) && (set.empty() || Find(set, {c}, 0) != SIZE_MAX);
    };
    Chars t = text;
    std::string log = "L";
    for (size_t pos = 1; pos < t.size();) {
      size_t hit = pos - 1, count = 0;
      while (hit < t.size() && !matches(t[hit])) ++hit;
      if (hit == t.size()) break;
      for (size_t i = hit; i < t.size(); ++i) count += matches(t[i]);
      log +=
          std::to_string(hit - (pos - 1)) + " " + std::to_string(count) + " ";
      t.erase(t.begin() + hit);
      t.insert(t.begin() + hit, repl.begin(), repl.end());
      pos = hit + 1 + repl.size();
    }
    EXPECT_EQ(content, Join(t) + log);
  }
}

}  // namespace
}  // namespace zarn

// UTF-8 mode against an obviously correct model: a text is decoded into
// characters (a valid sequence gives its code point, any other byte a
// character of its own), the operation is applied to the characters, and
// the result encoded again. Every function that counts or cuts, and a
// find/rep scan loop, must give the model's bytes exactly over random texts
// of ASCII, 2-, 3- and 4-byte characters and invalid bytes.
#include <gtest/gtest.h>
#include <locale.h>
#include <wctype.h>

#include <random>

#include "commands/run_state.h"
#include "run/file_loop.h"
#include "run/zarn_main.h"
#include "support/memory_file_system.h"
#include "support/utf8.h"

namespace zarn {
namespace {

using Chars = std::vector<std::string>;  // one UTF-8 character (or byte) each

// Valid characters, then bytes that begin none: a stray byte, a lone
// lead, sequences cut short. No lone continuation byte: none can join its
// neighbours when characters are taken out or put in between.
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

// The characters of a text, by the definition: the longest valid sequence
// (code point of the sequence's length, no surrogate, at most 10FFFF)
// beginning at a byte, else the byte alone.
Chars Decode(const std::string& s) {
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  Chars out;
  for (size_t i = 0, len = 1; i < s.size(); i += len) {
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
    for (len = 4; len > 1; --len) {
      const unsigned lead = (0xFF00u >> len) & 0xFF;  // 110..., 1110...
      if (i + len > s.size() || (b(0) & (lead | lead >> 1)) != lead) {
        continue;
      }
      uint32_t cp = b(0) & (0x7F >> len);
      bool ok = true;
      for (size_t k = 1; k < len; ++k) {
        ok = ok && (b(k) & 0xC0) == 0x80;
        cp = cp << 6 | (b(k) & 0x3F);
      }
      if (ok && cp >= kMin[len] && cp <= 0x10FFFF && (cp >> 11) != 0x1B) break;
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
std::string Case(const Chars& t, bool upper) {
  const locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  std::string out;
  for (const std::string& c : t) {
    const auto* p = reinterpret_cast<const unsigned char*>(c.data());
    if (Utf8SequenceLength(p, c.size()) != c.size()) {
      out += c;
      continue;
    }
    const wint_t cp = DecodeSequence(p, c.size());
    AppendCodePoint(&out, upper ? towupper_l(cp, l) : towlower_l(cp, l));
  }
  freelocale(l);
  return out;
}

class Utf8Reference : public ::testing::Test {
 protected:
  Chars Random(size_t max, bool invalid = true) {
    std::string t;
    for (size_t n = rng_() % (max + 1); n > 0; --n) {
      t += invalid && rng_() % 4 == 0 ? kInvalid[rng_() % kInvalid.size()]
                                      : kValid[rng_() % kValid.size()];
    }
    return Decode(t);
  }
  size_t Below(size_t n) { return rng_() % n; }
  std::mt19937 rng_{20261207};
};

TEST_F(Utf8Reference, FunctionsCountAndCutCharacters) {
  StrVarStore vars;
  RangeVarStore ranges;
  int32_t funr = 0;
  EvalContext ctx{vars, ranges, funr};
  ctx.env.utf8 = true;
  for (int round = 0; round < 3000; ++round) {
    const Chars t = Random(12), s = Random(2), r = Random(3);
    const Chars t1 = t.empty() ? Chars{"a"} : t;
    vars.Set("t", Join(t1));
    vars.Set("s", Join(s.empty() ? Chars{"b"} : s));
    vars.Set("r", Join(r));
    const Chars& sv = s.empty() ? Chars{"b"} : s;
    const size_t p = 1 + Below(t1.size()), n = Below(t1.size() - p + 2);
    const std::string ps = std::to_string(p), ns = std::to_string(n);
    auto eval = [&](const std::string& e) { return Evaluate(e, ctx); };
    SCOPED_TRACE(::testing::PrintToString(Join(t1)) + " s=" +
                 ::testing::PrintToString(Join(sv)) + " p=" + ps + " n=" + ns);

    EXPECT_EQ(eval("len(t)"), std::to_string(t1.size()));
    const size_t at = Find(t1, sv, p - 1);
    EXPECT_EQ(eval("pos(t,s," + ps + ")"),
              at == SIZE_MAX ? "0" : std::to_string(at + 1));
    if (n > 0) {
      EXPECT_EQ(eval("mid(t," + ps + "," + ns + ")"), Join(t1, p - 1, n));
    }
    EXPECT_EQ(eval("mid(t," + ps + ")"), Join(t1, p - 1));
    EXPECT_EQ(eval("rev(t)"), Join(Chars(t1.rbegin(), t1.rend())));
    EXPECT_EQ(eval("uc(t)"), Case(t1, true));
    EXPECT_EQ(eval("lc(t)"), Case(t1, false));
    EXPECT_EQ(eval("cop(t,2)"), Join(t1) + Join(t1));
    const size_t first = Find(t1, sv, 0);
    EXPECT_EQ(eval("gh(t,s)"), first == SIZE_MAX ? "" : Join(t1, 0, first));
    EXPECT_EQ(eval("gt(t,s)"),
              first == SIZE_MAX ? "" : Join(t1, first + sv.size()));
    // sr: left to right, not overlapping, at most n.
    Chars replaced;
    size_t from = 0, done = 0;
    for (size_t hit; done < n + 1 && (hit = Find(t1, sv, from)) != SIZE_MAX;
         ++done) {
      replaced.insert(replaced.end(), t1.begin() + from, t1.begin() + hit);
      replaced.insert(replaced.end(), r.begin(), r.end());
      from = hit + sv.size();
    }
    replaced.insert(replaced.end(), t1.begin() + from, t1.end());
    EXPECT_EQ(eval("sr(t,s,r," + std::to_string(n + 1) + ")"), Join(replaced));
    // gw: words between any characters of s.
    Chars words;
    std::string word;
    for (const std::string& c : t1) {
      if (Find(sv, {c}, 0) == SIZE_MAX)
        word += c;
      else if (!word.empty())
        words.push_back(std::exchange(word, ""));
    }
    if (!word.empty()) words.push_back(word);
    EXPECT_EQ(eval("gw(t,s,2)"), words.size() >= 2 ? words[1] : "");
    // fill to n + 1 characters, padded with copies of r (or a blank) cut.
    const Chars f = r.empty() ? Chars{" "} : r;
    const size_t len = n + 1, pad = len > t1.size() ? len - t1.size() : 0;
    Chars copies;
    while (copies.size() < len) copies.insert(copies.end(), f.begin(), f.end());
    const std::string fl = "fill(t," + std::to_string(len);
    EXPECT_EQ(eval(fl + ",1,r)"),
              pad == 0 ? Join(t1, 0, len) : Join(t1) + Join(copies, 0, pad));
    EXPECT_EQ(eval(fl + ",0,r)"),
              pad == 0 ? Join(t1, t1.size() - len)
                       : Join(copies, copies.size() - pad) + Join(t1));
    // ovl: r over t from p, t padded with blanks to p characters.
    Chars base = t1;
    while (base.size() < p) base.push_back(" ");
    const std::string over =
        Join(base, 0, p - 1) + Join(r) + Join(base, p - 1 + r.size());
    EXPECT_EQ(eval("ovl(t,r," + ps + ")"), r.empty() ? Join(t1) : over);
  }
}

TEST_F(Utf8Reference, ChrGivesTheCharacterOfACodePoint) {
  StrVarStore vars;
  RangeVarStore ranges;
  int32_t funr = 0;
  EvalContext ctx{vars, ranges, funr};
  ctx.env.utf8 = true;
  for (int64_t cp : {0, 0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xD800, 0xDFFF,
                     0xE000, 0xFFFF, 0x10000, 0x10FFFF, 0x110000}) {
    std::string want;
    if (IsScalarValue(cp)) AppendCodePoint(&want, static_cast<uint32_t>(cp));
    const std::string got = Evaluate("chr(" + std::to_string(cp) + ")", ctx);
    EXPECT_EQ(got, IsScalarValue(cp) ? want
                                     : "*** ERROR. FUNCTION:CHR. OUT-OF-RANGE "
                                       "CODE ARGUMENT: '" +
                                           std::to_string(cp) + "'");
  }
}

TEST_F(Utf8Reference, FindAndRepScanLoop) {
  for (int round = 0; round < 300; ++round) {
    const Chars text = Random(30);
    // Written by setc, which would lose a blank at either end.
    Chars set = Random(3, false), repl = Random(2, false);
    for (Chars* c : {&set, &repl})
      std::replace(c->begin(), c->end(), std::string(" "), std::string("_"));
    const bool dot = set.empty();
    const std::string pattern = dot ? "." : "[" + Join(set) + "]";
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
    st.LogFile = "/log";
    InitSysVars(st.machine.StrVars, st.SysVars,
                SysVarSettings{"/app", "/", "/prog", "p.zarn", "/log", 0});
    InstallProgram(st);
    ASSERT_EQ(st.machine.ErrFlag, ErrorState::kNone);
    st.machine.SetEncoding(TextEncoding::kUtf8);
    std::string content = Join(text);
    int32_t changes = 0;
    RunOnFile(st.machine, content, changes);

    // The model: a match never begins at the last character (the subject
    // is empty from there); after a match the search goes on behind the
    // new text.
    auto matches = [&](const std::string& c) {
      const auto* b = reinterpret_cast<const unsigned char*>(c.data());
      return Utf8SequenceLength(b, c.size()) == c.size() &&
             (dot || Find(set, {c}, 0) != SIZE_MAX);
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

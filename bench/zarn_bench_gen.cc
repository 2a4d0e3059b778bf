// Writes the benchmark corpus of bench/run.sh. Every byte follows from a
// fixed seed, so two machines (or two runs) time the same texts.
//
//   zarn_bench_gen many   FOLDER          1,000 files of about 64 KB in a tree
//                                         three folders deep, half CR LF and
//                                         half LF, "foo" about every 200 bytes
//   zarn_bench_gen big    FOLDER [MIB]    one CR LF file (default 64 MiB) of
//                                         the same density
//   zarn_bench_gen sparse FOLDER [MIB]    one LF file (default 64 MiB) holding
//                                         "foo" exactly 100 times
//   zarn_bench_gen many-utf8 FOLDER       the tree of many, its words mixed
//                                         with accented and non-Latin UTF-8
//                                         words
//   zarn_bench_gen tree   FOLDER [FILES]  FILES (default 100,000) files of
//                                         about 2 KB, ten to a folder, four
//                                         folders deep
//   zarn_bench_gen interp FOLDER          one small file for the loop timing
//
// "foo" occurs only where it is put on purpose: the words never contain it
// and are always separated, so every tool replaces exactly the same places.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// splitmix64: small, fast and identical on every platform.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi].
  uint64_t Between(uint64_t lo, uint64_t hi) {
    return lo + Next() % (hi - lo + 1);
  }

 private:
  uint64_t state_;
};

constexpr std::string_view kWords[] = {
    "alpha",   "beta",     "gamma", "delta",   "harbour", "window", "ledger",
    "invoice", "customer", "order", "line",    "total",   "amount", "date",
    "region",  "north",    "south", "east",    "west",    "queue",  "server",
    "client",  "request",  "reply", "status",  "value",   "record", "field",
    "column",  "table",    "index", "entry",   "batch",   "file",   "folder",
    "path",    "ok",       "error", "warning", "notice",  "the",    "a",
    "of",      "to",       "and",   "in",      "is",      "for",    "with",
    "on",      "by",       "at",    "from",    "as",      "fob",    "feed",
    "fo",      "of",       "oof",   "bar",     "Foo",     "FOO",    "fOo",
    "2026",    "12",       "7.5",   "x=1",     "(note)",  "[tag]",  "key:value",
    "a,b",     "end.",
};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

// UTF-8 words of 2-, 3- and 4-byte characters; one word in three is one of
// them in the many-utf8 corpus.
constexpr std::string_view kUtf8Words[] = {
    "café",   "naïve",     "größe", "Straße", "été",    "Ça",
    "señor",  "žluťoučký", "łódź",  "αλφα",   "βήτα",   "число",
    "данные", "שלום",      "مرحبا", "東京",   "データ", "서울",
    "€10",    "→",         "😀",     "𝄞note",  "fôo",    "ƒoo",
};
constexpr size_t kUtf8WordCount = sizeof kUtf8Words / sizeof kUtf8Words[0];

std::string_view PickWord(Random& rng, bool utf8) {
  if (utf8 && rng.Next() % 3 == 0)
    return kUtf8Words[rng.Next() % kUtf8WordCount];
  return kWords[rng.Next() % kWordCount];
}

// Appends text of about `size` bytes: lines of 40 to 100 characters ending
// in CR LF or LF, with "foo" every `gap_lo` to `gap_hi` bytes (or at the
// offsets of `fixed_hits` evenly spread ones when that is not 0).
std::string MakeText(Random& rng, size_t size, bool crlf, size_t gap_lo,
                     size_t gap_hi, size_t fixed_hits, bool utf8 = false) {
  std::string out;
  out.reserve(size + 256);
  const std::string_view eol = crlf ? "\r\n" : "\n";
  size_t next_hit =
      fixed_hits > 0 ? size / (fixed_hits + 1) : rng.Between(gap_lo, gap_hi);
  size_t hits = 0;
  size_t line_limit = rng.Between(40, 100);
  size_t line_start = 0;
  while (out.size() < size) {
    if (out.size() - line_start > 0) out.push_back(' ');
    const bool hit =
        out.size() >= next_hit && (fixed_hits == 0 || hits < fixed_hits);
    if (hit) {
      out.append("foo");
      ++hits;
      next_hit = fixed_hits > 0 ? size / (fixed_hits + 1) * (hits + 1)
                                : out.size() + rng.Between(gap_lo, gap_hi);
    } else {
      out.append(PickWord(rng, utf8));
    }
    if (out.size() - line_start >= line_limit) {
      out.append(eol);
      line_start = out.size();
      line_limit = rng.Between(40, 100);
    }
  }
  if (line_start != out.size()) out.append(eol);
  // "foo" stands only where it was put: a whole word between blanks or line
  // ends. The words themselves never hold it.
  return out;
}

bool MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
  std::fprintf(stderr, "zarn_bench_gen: cannot create %s: %s\n", path.c_str(),
               std::strerror(errno));
  return false;
}

bool WriteFile(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "zarn_bench_gen: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

constexpr size_t kMiB = size_t{1} << 20;

bool Many(const std::string& root, bool utf8) {
  Random rng(0x5A524E31);  // fixed seed
  if (!MakeFolder(root)) return false;
  int number = 0;
  // 10 x 10 x 10 folders would be 1,000 folders of one file; 5 x 5 x 5
  // folders of 8 files each keeps the tree three levels deep and the
  // folders realistic.
  for (int a = 0; a < 5; ++a) {
    const std::string da = root + "/a" + std::to_string(a);
    if (!MakeFolder(da)) return false;
    for (int b = 0; b < 5; ++b) {
      const std::string db = da + "/b" + std::to_string(b);
      if (!MakeFolder(db)) return false;
      for (int c = 0; c < 5; ++c) {
        const std::string dc = db + "/c" + std::to_string(c);
        if (!MakeFolder(dc)) return false;
        for (int f = 0; f < 8; ++f, ++number) {
          char name[32];
          std::snprintf(name, sizeof name, "/f%04d.txt", number);
          const size_t size = rng.Between(60 * 1024, 68 * 1024);
          const std::string text =
              MakeText(rng, size, /*crlf=*/number % 2 == 0, 100, 300, 0, utf8);
          if (!WriteFile(dc + name, text)) return false;
        }
      }
    }
  }
  return true;
}

// `count` files of about 2 KB, ten to a folder, in a tree four folders
// deep (d0/d3/d7/d1/f12345.txt): the per-file cost of a tool.
bool Tree(const std::string& root, size_t count) {
  Random rng(0x5A524E34);
  if (!MakeFolder(root)) return false;
  for (size_t number = 0; number < count; ++number) {
    std::string folder = root;
    size_t rest = number / 10;
    for (int level = 0; level < 4; ++level, rest /= 10) {
      folder += "/d" + std::to_string(rest % 10);
      if (number % 10 == 0 && !MakeFolder(folder)) return false;
    }
    const size_t size = rng.Between(1800, 2200);
    const std::string text =
        MakeText(rng, size, /*crlf=*/number % 2 == 0, 100, 300, 0);
    if (!WriteFile(folder + "/f" + std::to_string(number) + ".txt", text)) {
      return false;
    }
  }
  return true;
}

bool Big(const std::string& root, size_t mib) {
  Random rng(0x5A524E32 + mib);
  return MakeFolder(root) &&
         WriteFile(root + "/big.txt",
                   MakeText(rng, mib * kMiB, /*crlf=*/true, 100, 300, 0));
}

bool Sparse(const std::string& root, size_t mib) {
  Random rng(0x5A524E33 + mib);
  return MakeFolder(root) &&
         WriteFile(root + "/sparse.txt",
                   MakeText(rng, mib * kMiB, /*crlf=*/false, 0, 0, 100));
}

bool Interp(const std::string& root) {
  return MakeFolder(root) &&
         WriteFile(root + "/small.txt", "one small file\r\n");
}

int Usage() {
  std::fprintf(stderr,
               "usage: zarn_bench_gen many|many-utf8|big|sparse|interp FOLDER "
               "[MIB]\n"
               "       zarn_bench_gen tree FOLDER [FILES]\n");
  return 64;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  const std::string_view what = argv[1];
  const std::string folder = argv[2];
  size_t mib = 64;
  if (argc == 4) {
    char* end = nullptr;
    mib = std::strtoul(argv[3], &end, 10);
    const size_t limit = what == "tree" ? 10000000 : 4096;  // files, MiB
    if (end == argv[3] || *end != '\0' || mib == 0 || mib > limit) {
      return Usage();
    }
  }
  bool ok = false;
  if (what == "many") {
    ok = Many(folder, /*utf8=*/false);
  } else if (what == "many-utf8") {
    ok = Many(folder, /*utf8=*/true);
  } else if (what == "big") {
    ok = Big(folder, mib);
  } else if (what == "sparse") {
    ok = Sparse(folder, mib);
  } else if (what == "tree") {
    ok = Tree(folder, argc == 4 ? mib : 100000);
  } else if (what == "interp") {
    ok = Interp(folder);
  } else {
    return Usage();
  }
  return ok ? 0 : 1;
}

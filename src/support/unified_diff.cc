#include "support/unified_diff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <sstream>

#include "support/text.h"

namespace zarn {

namespace {

// The lines of a text: line i is [start_[i], start_[i + 1]). 32-bit offsets
// halve the memory of a large file; longer texts are not split at all.
class Lines {
 public:
  static constexpr size_t kMaxText = std::numeric_limits<uint32_t>::max();

  explicit Lines(std::string_view text) : text_(text) {
    start_.push_back(0);
    size_t pos = 0;
    while (pos < text.size()) {
      const void* lf = std::memchr(text.data() + pos, '\n', text.size() - pos);
      size_t end =
          lf ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) +
                   1
             : text.size();
      hash_.push_back(Hash(text.substr(pos, end - pos)));
      start_.push_back(static_cast<uint32_t>(end));
      pos = end;
    }
  }

  int64_t size() const { return static_cast<int64_t>(hash_.size()); }
  std::string_view operator[](int64_t i) const {
    return text_.substr(start_[i], start_[i + 1] - start_[i]);
  }
  uint32_t hash(int64_t i) const { return hash_[i]; }

 private:
  // FNV-1a: cheap, and a collision only costs one byte comparison.
  static uint32_t Hash(std::string_view s) {
    uint32_t h = 2166136261u;
    for (unsigned char c : s) {
      h ^= c;
      h *= 16777619u;
    }
    return h;
  }

  std::string_view text_;
  std::vector<uint32_t> start_;
  std::vector<uint32_t> hash_;
};

int64_t CountLines(std::string_view text) {
  int64_t n = std::count(text.begin(), text.end(), '\n');
  if (!text.empty() && text.back() != '\n') ++n;
  return n;
}

// Myers' comparison in linear space. Marks every old line that is deleted
// and every new line that is inserted; the unmarked lines of both sides
// then pair up in order.
class Differ {
 public:
  Differ(const Lines& a, const Lines& b, const DiffOptions& options)
      : a_(a), b_(b), deleted_(a.size(), 0), inserted_(b.size(), 0) {
    const int64_t total = a.size() + b.size();
    cost_ = options.split_cost;
    if (cost_ <= 0) {
      // Small inputs get a shortest script; on large ones the cut keeps
      // the time near (lines x cost), whatever the changes.
      cost_ = total <= 50'000
                  ? total
                  : std::clamp<int64_t>(200'000'000 / total, 64, 4096);
    }
    budget_ = options.work_budget;
    // No search goes beyond cost_ steps nor beyond half the lines, so the
    // furthest points need only a window of diagonals around the start.
    window_ = std::min(cost_, total / 2 + 1) + 3;
    fwd_.resize(static_cast<size_t>(2 * window_ + 1));
    bwd_.resize(static_cast<size_t>(2 * window_ + 1));
  }

  void Run() { Compare(0, a_.size(), 0, b_.size()); }

  const std::vector<uint8_t>& deleted() const { return deleted_; }
  const std::vector<uint8_t>& inserted() const { return inserted_; }

 private:
  struct Point {
    int64_t x = 0;
    int64_t y = 0;
  };

  bool Equal(int64_t x, int64_t y) const {
    return a_.hash(x) == b_.hash(y) && a_[x] == b_[y];
  }

  void MarkChanged(int64_t xoff, int64_t xlim, int64_t yoff, int64_t ylim) {
    std::fill(deleted_.begin() + xoff, deleted_.begin() + xlim, 1);
    std::fill(inserted_.begin() + yoff, inserted_.begin() + ylim, 1);
  }

  // Compares old [xoff, xlim) with new [yoff, ylim). The smaller half of
  // each split is compared by recursion and the larger one by the loop, so
  // the depth stays logarithmic even when the splits are lopsided.
  void Compare(int64_t xoff, int64_t xlim, int64_t yoff, int64_t ylim) {
    while (true) {
      while (xoff < xlim && yoff < ylim && Equal(xoff, yoff)) ++xoff, ++yoff;
      while (xoff < xlim && yoff < ylim && Equal(xlim - 1, ylim - 1)) {
        --xlim, --ylim;
      }
      if (xoff == xlim || yoff == ylim) {
        MarkChanged(xoff, xlim, yoff, ylim);
        return;
      }
      Point mid;
      if (work_ > budget_ || !FindSplit(xoff, xlim, yoff, ylim, &mid)) {
        MarkChanged(xoff, xlim, yoff, ylim);
        return;
      }
      if ((mid.x - xoff) + (mid.y - yoff) < (xlim - mid.x) + (ylim - mid.y)) {
        Compare(xoff, mid.x, yoff, mid.y);
        xoff = mid.x;
        yoff = mid.y;
      } else {
        Compare(mid.x, xlim, mid.y, ylim);
        xlim = mid.x;
        ylim = mid.y;
      }
    }
  }

  // Furthest x on diagonal d (d = x - y), searching forward from the
  // start or backward from the end of the current box.
  int64_t& F(int64_t d) { return fwd_[d - fmid_ + window_]; }
  int64_t& B(int64_t d) { return bwd_[d - bmid_ + window_]; }

  // A point of a shortest path through the box (its middle snake), or,
  // after cost_ steps, the point that got furthest. The box's first lines
  // differ and so do its last ones. False when no usable point was found.
  bool FindSplit(int64_t xoff, int64_t xlim, int64_t yoff, int64_t ylim,
                 Point* mid) {
    constexpr int64_t kNoX = std::numeric_limits<int64_t>::min() / 4;
    constexpr int64_t kNoXBack = std::numeric_limits<int64_t>::max() / 4;
    const int64_t dmin = xoff - ylim, dmax = xlim - yoff;
    fmid_ = xoff - yoff;
    bmid_ = xlim - ylim;
    int64_t fmin = fmid_, fmax = fmid_, bmin = bmid_, bmax = bmid_;
    const bool odd = ((fmid_ - bmid_) & 1) != 0;
    F(fmid_) = xoff;
    B(bmid_) = xlim;
    auto inside = [&](const Point& p) {
      return p.x >= xoff && p.x <= xlim && p.y >= yoff && p.y <= ylim &&
             !(p.x == xoff && p.y == yoff) && !(p.x == xlim && p.y == ylim);
    };
    for (int64_t c = 1;; ++c) {
      // One more step forward: the diagonals of this step's parity.
      if (fmin > dmin) {
        F(--fmin - 1) = kNoX;
      } else {
        ++fmin;
      }
      if (fmax < dmax) {
        F(++fmax + 1) = kNoX;
      } else {
        --fmax;
      }
      for (int64_t d = fmax; d >= fmin; d -= 2) {
        const int64_t from_left = F(d - 1), from_above = F(d + 1);
        int64_t x = from_left < from_above ? from_above : from_left + 1;
        int64_t y = x - d;
        const int64_t x0 = x;
        while (x < xlim && y < ylim && Equal(x, y)) ++x, ++y;
        work_ += 1 + (x - x0);
        F(d) = x;
        if (odd && bmin <= d && d <= bmax && B(d) <= x) {
          *mid = Point{x, y};
          return inside(*mid);
        }
      }
      // One more step backward from the end.
      if (bmin > dmin) {
        B(--bmin - 1) = kNoXBack;
      } else {
        ++bmin;
      }
      if (bmax < dmax) {
        B(++bmax + 1) = kNoXBack;
      } else {
        --bmax;
      }
      for (int64_t d = bmax; d >= bmin; d -= 2) {
        const int64_t from_left = B(d - 1), from_above = B(d + 1);
        int64_t x = from_left < from_above ? from_left : from_above - 1;
        int64_t y = x - d;
        const int64_t x0 = x;
        while (x > xoff && y > yoff && Equal(x - 1, y - 1)) --x, --y;
        work_ += 1 + (x0 - x);
        B(d) = x;
        if (!odd && fmin <= d && d <= fmax && x <= F(d)) {
          *mid = Point{x, y};
          return inside(*mid);
        }
      }
      if (c >= cost_ || c >= window_ - 3 || work_ > budget_) {
        return FurthestPoint(xoff, xlim, yoff, ylim, fmin, fmax, bmin, bmax,
                             mid) &&
               inside(*mid);
      }
    }
  }

  // The forward point with the largest x + y or the backward point with
  // the smallest, whichever has come further from its corner; each is
  // first brought inside the box along its diagonal.
  bool FurthestPoint(int64_t xoff, int64_t xlim, int64_t yoff, int64_t ylim,
                     int64_t fmin, int64_t fmax, int64_t bmin, int64_t bmax,
                     Point* mid) {
    int64_t fbest = -1;
    Point fpoint;
    for (int64_t d = fmax; d >= fmin; d -= 2) {
      int64_t x = std::min(F(d), xlim);
      int64_t y = x - d;
      if (y > ylim) {
        x = ylim + d;
        y = ylim;
      }
      if (x < xoff || y < yoff) continue;
      if (x + y > fbest) {
        fbest = x + y;
        fpoint = Point{x, y};
      }
    }
    int64_t bbest = std::numeric_limits<int64_t>::max();
    Point bpoint;
    for (int64_t d = bmax; d >= bmin; d -= 2) {
      int64_t x = std::max(B(d), xoff);
      int64_t y = x - d;
      if (y < yoff) {
        x = yoff + d;
        y = yoff;
      }
      if (x > xlim || y > ylim) continue;
      if (x + y < bbest) {
        bbest = x + y;
        bpoint = Point{x, y};
      }
    }
    const bool have_f = fbest >= 0;
    const bool have_b = bbest != std::numeric_limits<int64_t>::max();
    if (!have_f && !have_b) return false;
    if (have_f && (!have_b || fbest - (xoff + yoff) >= (xlim + ylim) - bbest)) {
      *mid = fpoint;
    } else {
      *mid = bpoint;
    }
    return true;
  }

  const Lines& a_;
  const Lines& b_;
  std::vector<uint8_t> deleted_;
  std::vector<uint8_t> inserted_;
  std::vector<int64_t> fwd_, bwd_;
  int64_t fmid_ = 0, bmid_ = 0;
  int64_t window_ = 0;
  int64_t cost_ = 0;
  int64_t budget_ = 0;
  int64_t work_ = 0;
};

std::vector<DiffRegion> Regions(const std::vector<uint8_t>& deleted,
                                const std::vector<uint8_t>& inserted) {
  std::vector<DiffRegion> regions;
  const int64_t n = static_cast<int64_t>(deleted.size());
  const int64_t m = static_cast<int64_t>(inserted.size());
  int64_t i = 0, j = 0;
  while (i < n || j < m) {
    if ((i < n && deleted[i]) || (j < m && inserted[j]) || i == n || j == m) {
      DiffRegion r{i, i, j, j};
      while (r.old_end < n && deleted[r.old_end]) ++r.old_end;
      while (r.new_end < m && inserted[r.new_end]) ++r.new_end;
      // Unmarked lines pair up, so neither side can end alone; should the
      // marks ever disagree, the rest is one region rather than a wrong one.
      if (r.old_end == n || r.new_end == m) {
        r.old_end = n;
        r.new_end = m;
      }
      regions.push_back(r);
      i = r.old_end;
      j = r.new_end;
    } else {
      ++i;
      ++j;
    }
  }
  return regions;
}

std::vector<DiffRegion> Diff(const Lines& a, const Lines& b,
                             const DiffOptions& options) {
  Differ differ(a, b, options);
  differ.Run();
  return Regions(differ.deleted(), differ.inserted());
}

// "a/path" as patch reads it back: C quotes for names that need them, a
// tab after a name with a blank (patch otherwise stops at the blank).
std::string Label(std::string_view prefix, std::string_view path, bool header) {
  std::string name(prefix);
  name.append(path);
  // A C1 control character (see MaskControls) would drive a terminal too.
  bool quote = MaskControls(name) != name;
  for (unsigned char c : name) {
    if (c == '"' || c == '\\') quote = true;
  }
  if (quote) {
    std::string q = "\"";
    for (unsigned char c : name) {
      switch (c) {
        case '"':
          q += "\\\"";
          break;
        case '\\':
          q += "\\\\";
          break;
        case '\t':
          q += "\\t";
          break;
        case '\n':
          q += "\\n";
          break;
        case '\r':
          q += "\\r";
          break;
        default:
          if (c < 0x20 || c == 0x7f || (c >= 0x80 && c <= 0x9f)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\%03o", c);
            q += buf;
          } else {
            q.push_back(static_cast<char>(c));
          }
      }
    }
    q.push_back('"');
    return q;
  }
  if (header && name.find(' ') != std::string::npos) name.push_back('\t');
  return name;
}

// "-3,4", "-3" for one line, "-2,0" for none (after line 2).
std::string Range(int64_t begin, int64_t end) {
  if (end - begin == 1) return std::to_string(begin + 1);
  if (end == begin) return std::to_string(begin) + ",0";
  return std::to_string(begin + 1) + "," + std::to_string(end - begin);
}

void PutLine(std::ostream& out, char mark, std::string_view line) {
  out.put(mark);
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  if (line.empty() || line.back() != '\n') {
    out << "\n\\ No newline at end of file\n";
  }
}

void WriteHunks(std::ostream& out, const Lines& a, const Lines& b,
                const std::vector<DiffRegion>& regions, int context) {
  const int64_t ctx = std::max(context, 0);
  size_t k = 0;
  while (k < regions.size()) {
    // A hunk takes regions while the unchanged stretch between them is
    // short enough that their contexts would touch.
    size_t last = k;
    while (last + 1 < regions.size() &&
           regions[last + 1].old_begin - regions[last].old_end <= 2 * ctx) {
      ++last;
    }
    const DiffRegion& first = regions[k];
    const int64_t before = std::min(ctx, first.old_begin);
    const int64_t old_begin = first.old_begin - before;
    const int64_t new_begin = first.new_begin - before;
    const int64_t after = std::min(ctx, a.size() - regions[last].old_end);
    const int64_t old_end = regions[last].old_end + after;
    const int64_t new_end = regions[last].new_end + after;
    out << "@@ -" << Range(old_begin, old_end) << " +"
        << Range(new_begin, new_end) << " @@\n";
    int64_t i = old_begin;
    for (size_t r = k; r <= last; ++r) {
      for (; i < regions[r].old_begin; ++i) PutLine(out, ' ', a[i]);
      for (; i < regions[r].old_end; ++i) PutLine(out, '-', a[i]);
      for (int64_t j = regions[r].new_begin; j < regions[r].new_end; ++j) {
        PutLine(out, '+', b[j]);
      }
    }
    for (; i < old_end; ++i) PutLine(out, ' ', a[i]);
    k = last + 1;
  }
}

}  // namespace

bool LooksBinary(std::string_view text) {
  return text.find('\0') != std::string_view::npos;
}

std::vector<DiffRegion> DiffLines(std::string_view old_text,
                                  std::string_view new_text,
                                  const DiffOptions& options) {
  if (old_text.size() > Lines::kMaxText || new_text.size() > Lines::kMaxText) {
    if (old_text == new_text) return {};
    return {DiffRegion{0, CountLines(old_text), 0, CountLines(new_text)}};
  }
  return Diff(Lines(old_text), Lines(new_text), options);
}

void WriteUnifiedDiff(std::ostream& out, std::string_view path,
                      std::string_view old_text, std::string_view new_text,
                      const DiffOptions& options) {
  if (old_text == new_text) return;
  if (LooksBinary(old_text) || LooksBinary(new_text)) {
    out << "Binary files " << Label("a/", path, false) << " and "
        << Label("b/", path, false) << " differ\n";
    return;
  }
  if (old_text.size() > Lines::kMaxText || new_text.size() > Lines::kMaxText) {
    out << "Files " << Label("a/", path, false) << " and "
        << Label("b/", path, false) << " differ (too large to compare)\n";
    return;
  }
  const Lines a(old_text), b(new_text);
  const std::vector<DiffRegion> regions = Diff(a, b, options);
  out << "--- " << Label("a/", path, true) << "\n";
  out << "+++ " << Label("b/", path, true) << "\n";
  WriteHunks(out, a, b, regions, options.context);
}

std::string UnifiedDiff(std::string_view path, std::string_view old_text,
                        std::string_view new_text, const DiffOptions& options) {
  std::ostringstream out;
  WriteUnifiedDiff(out, path, old_text, new_text, options);
  return out.str();
}

}  // namespace zarn

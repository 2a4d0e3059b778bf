#include "support/text.h"

#include <algorithm>

namespace zarn {

std::string LeftOf(std::string_view text, std::string_view delim) {
  size_t p = text.find(delim);
  if (p == std::string_view::npos) return std::string();
  return std::string(text.substr(0, p));
}

std::string RightOf(std::string_view text, std::string_view delim) {
  size_t p = text.find(delim);
  if (p == std::string_view::npos) return std::string();
  return std::string(text.substr(p + delim.size()));
}

std::string GetWord(std::string_view text, std::string_view separators,
                    int32_t n) {
  if (n < 1) return std::string();
  if (separators.empty()) return n == 1 ? std::string(text) : std::string();
  size_t pos = 0;
  std::string_view word;
  for (int32_t i = 0; i < n; ++i) {
    pos = text.find_first_not_of(separators, pos);
    if (pos == std::string_view::npos) return std::string();
    size_t end = text.find_first_of(separators, pos);
    if (end == std::string_view::npos) end = text.size();
    word = text.substr(pos, end - pos);
    pos = end;
  }
  return std::string(word);
}

std::string ReverseText(std::string_view text) {
  return std::string(text.rbegin(), text.rend());
}

std::string RepeatText(std::string_view text, int32_t count) {
  std::string out;
  if (count < 1 || text.empty()) return out;
  const size_t total = text.size() * static_cast<size_t>(count);
  out.reserve(total);
  out.append(text);
  // Doubling what is already there takes log2(count) copies instead of
  // count appends: many copies of a short text cost no more than one large
  // copy.
  while (out.size() <= total / 2) out.append(out);
  out.append(out.data(), total - out.size());
  return out;
}

std::string OverlayText(std::string_view overlay, std::string_view base,
                        int32_t position) {
  if (overlay.empty()) return std::string(base);
  if (position < 1) {
    std::string out(overlay);
    out.append(base);
    return out;
  }
  std::string padded(base);
  if (padded.size() < static_cast<size_t>(position)) {
    padded.resize(static_cast<size_t>(position), ' ');
  }
  size_t start = static_cast<size_t>(position) - 1;
  std::string out = padded.substr(0, start);
  out.append(overlay);
  size_t rest = start + overlay.size();
  if (rest < padded.size()) out.append(padded, rest, std::string::npos);
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::string_view();
  size_t e = text.find_last_not_of(' ');
  return text.substr(b, e - b + 1);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpperChar(c);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
  }
  return true;
}

std::string ReplaceAll(std::string_view text, std::string_view from,
                       std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string out;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(text.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

void AppendIndented(std::string* out, std::string_view value,
                    std::string_view indent) {
  size_t pos = 0;
  while (true) {
    size_t hit = value.find("\r\n", pos);
    if (hit == std::string_view::npos) break;
    out->append(value.substr(pos, hit + 2 - pos));
    out->append(indent);
    pos = hit + 2;
  }
  out->append(value.substr(pos));
}

std::string PaddedNumber(int64_t value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(digits.size()) < width) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

}  // namespace zarn

#include "run/shard.h"

#include <charconv>
#include <string>

namespace zarn {

uint64_t Fnv1a64(std::string_view text) {
  uint64_t hash = 14695981039346656037ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ULL;
  }
  return hash;
}

int64_t ShardOf(std::string_view relative_path, int64_t shards) {
  return static_cast<int64_t>(Fnv1a64(relative_path) %
                              static_cast<uint64_t>(shards));
}

std::string ShardLogName(std::string_view log, int64_t shard, int64_t shards) {
  const std::string mark =
      ".shard-" + std::to_string(shard) + "-of-" + std::to_string(shards);
  const size_t name =
      log.rfind('/') == std::string_view::npos ? 0 : log.rfind('/') + 1;
  size_t dot = log.rfind('.');
  // A name that is all extension (".log") keeps it as its name.
  if (dot == std::string_view::npos || dot <= name) dot = log.size();
  return std::string(log.substr(0, dot)) + mark + std::string(log.substr(dot));
}

std::string ParseShard(std::string_view text, int64_t* shard, int64_t* shards) {
  const std::string wrong =
      "--shard needs K/N: shard K (from 0) of N shards, 0 <= K < N";
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return wrong;
  auto number = [](std::string_view digits, int64_t* n) {
    const auto [end, ec] =
        std::from_chars(digits.data(), digits.data() + digits.size(), *n);
    return !digits.empty() && ec == std::errc() &&
           end == digits.data() + digits.size();
  };
  int64_t k = 0;
  int64_t n = 0;
  if (!number(text.substr(0, slash), &k) ||
      !number(text.substr(slash + 1), &n) || n < 1 || n > 1000000 || k < 0 ||
      k >= n) {
    return wrong;
  }
  *shard = k;
  *shards = n;
  return "";
}

}  // namespace zarn

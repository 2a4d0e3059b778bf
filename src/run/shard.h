// The split of a run's files over several runs (--shard K/N): each file
// belongs to exactly one of N shards, chosen by a hash of its path
// relative to the data folder, so that the same file falls into the same
// shard on every machine and in every run, and the N shards of one split
// together process every file exactly once. Shards count from 0.
//
// The hash is FNV-1a of 64 bits over the bytes of the relative path (the
// folders separated by "/", no leading "/"): offset basis
// 14695981039346656037, prime 1099511628211; the shard is the hash modulo N.
#ifndef ZARN_RUN_SHARD_H_
#define ZARN_RUN_SHARD_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

// FNV-1a, 64 bits, of the bytes of text.
uint64_t Fnv1a64(std::string_view text);

// The shard (from 0) of a file of that relative path among shards.
int64_t ShardOf(std::string_view relative_path, int64_t shards);

// The log of shard K of N: the log the settings name with ".shard-K-of-N"
// before its extension ("run.log" becomes "run.shard-0-of-4.log"), so that
// the shards of a split that share a folder each write their own.
std::string ShardLogName(std::string_view log, int64_t shard, int64_t shards);

// Reads "K/N" (0 <= K < N, N at most 1,000,000); an error text for
// anything else.
std::string ParseShard(std::string_view text, int64_t* shard, int64_t* shards);

}  // namespace zarn

#endif  // ZARN_RUN_SHARD_H_

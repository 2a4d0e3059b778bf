#!/usr/bin/env bash
# Times Zarn against sed, perl and sd (when installed) on the job "replace
# every foo by bar in place" (W-utf8: on UTF-8 text, Zarn in UTF-8 mode
# against its byte mode and against sed in a UTF-8 locale; W-many also times
# Zarn's UTF-8 mode on ASCII, and Zarn on one core against Zarn on two), Zarn
# on a tree of 100,000 small files (W-tree) and the files per second it scans
# when nothing changes against find reading every file (W-tree-scan), and
# Zarn's interpreter against the same counting loop in perl and awk. Prints
# one table: median, min and max of each tool, its ratio to sed
# (to perl for W-interp) from the same run, its ratio to the floor (cp -r of
# the same tree) and its peak memory, followed by the targets.
#
# Every timed run works on a fresh copy of the corpus (the copy is not
# timed); the tools take turns, run after run. Every output tree must be
# byte for byte the tree sed produced, or the script fails.
#
# Settings (environment):
#   BENCH_RUNS     runs per tool and workload (default 5)
#   BENCH_QUICK_RUNS  runs per tool of the workloads that take at most a
#                  few seconds per run, whose medians move most with the
#                  machine's noise: every workload but W-tree and
#                  W-tree-scan (default twice BENCH_RUNS less one: 9)
#   BENCH_DATA     where corpus and copies live, never inside the
#                  repository (default /dev/shm/zarn-bench when /dev/shm is
#                  a tmpfs with room for it, else $TMPDIR/zarn-bench). On a
#                  disk file system the copying and removing of thousands
#                  of files between runs can make file creation itself
#                  slow for every tool alike (ext4 steps over recently
#                  freed inodes), which swamps what the tools do.
#   BENCH_ONLY     comma list of workloads to run (default all):
#                  W-many,W-utf8,W-big,W-big-sparse,W-big-4x,W-interp,
#                  W-tree,W-tree-scan
#   BENCH_BIG_MIB  size of W-big and W-big-sparse in MiB (default 64;
#                  W-big-4x is four times it)
#   BENCH_COUNT    the count of W-interp (default 1000000)
#   BENCH_TREE_FILES  the files of W-tree and W-tree-scan (default 100000)
#   BENCH_TIMEOUT  seconds after which one run is given up (default 300)
#   BENCH_SETTLE   seconds of rest after each copy (default 0.3)
#   ZARN           the zarn binary to time (default: a Release build made
#                  here in build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

runs=${BENCH_RUNS:-5}
quick_runs=${BENCH_QUICK_RUNS:-$((2 * runs - 1))}
default_data() {
  # Room for the corpus (about 0.5 GB) and two copies of the largest tree.
  if [[ $(stat -f -c %T /dev/shm 2>/dev/null) == tmpfs ]] &&
     (( $(df -Pk /dev/shm | awk 'NR == 2 { print $4 }') > 2 * 1024 * 1024 )); then
    echo /dev/shm/zarn-bench
  else
    echo "${TMPDIR:-/tmp}/zarn-bench"
  fi
}
data=${BENCH_DATA:-$(default_data)}
only=${BENCH_ONLY:-W-many,W-utf8,W-big,W-big-sparse,W-big-4x,W-interp,W-tree,W-tree-scan}
tree_files=${BENCH_TREE_FILES:-100000}
big_mib=${BENCH_BIG_MIB:-64}
count=${BENCH_COUNT:-1000000}
limit=${BENCH_TIMEOUT:-300}

case "$(realpath -m "$data")/" in
  "$repo"/*) echo "BENCH_DATA must lie outside the repository" >&2; exit 64 ;;
esac
for tool in sed perl awk cp diff find xargs timeout /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 69; }
done

# --- build -----------------------------------------------------------------
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DZARN_TESTS=OFF >/dev/null
targets=(--target zarn_bench_gen)
[[ -z "${ZARN:-}" ]] && targets+=(--target zarn)
cmake --build build/bench -j"$jobs" "${targets[@]}" >/dev/null
gen=$repo/build/bench/zarn_bench_gen
zarn=$(realpath "${ZARN:-build/bench/zarn}")

# --- corpus (made once, kept between runs of this script) --------------------
corpus=$data/corpus
mkdir -p "$corpus" "$data/prog" "$data/log" "$data/ref"
make_corpus() {  # name generator-arguments...
  local name=$1; shift
  if [[ ! -f "$corpus/$name.done" ]]; then
    rm -rf "${corpus:?}/$name"
    "$gen" "$@" "$corpus/$name"
    touch "$corpus/$name.done"
  fi
}
make_corpus_sized() {  # name kind mib
  local name=$1 kind=$2 mib=$3
  if [[ ! -f "$corpus/$name.done" ]]; then
    rm -rf "${corpus:?}/$name"
    "$gen" "$kind" "$corpus/$name" "$mib"
    touch "$corpus/$name.done"
  fi
}

# --- the programs --------------------------------------------------------------
cat > "$data/prog/loop.zarn" <<'EOF'
setc pat,foo
setc new,bar
loop
findup pat,before,hit,after
if *rcf
rep hit,new
gbeg after
else
endif
lend not(*rcf)
EOF
printf '%s\n' 'set *filestring,sr(*filestring,foo,bar)' > "$data/prog/sr.zarn"
# Nothing to change: every file is read and searched, none is written.
printf '%s\n' 'setc pat,nowhere to be found' 'findup pat,before,hit,after' \
  > "$data/prog/scan.zarn"
cat > "$data/prog/count.zarn" <<'EOF'
set i,0
loop
set i,sum(i,1)
set done,ifn(i,ge,*parm1,1,0)
lend done
wlog i
EOF

work=$data/work
params() {  # program [encoding] -> parameter file for the tree $work
  local file=$data/prog/$1${2:+-$2}.ini
  cat > "$file" <<EOF
[Data]
Encoding=${2:-Bytes}
Datafolder=$work
Files=\.txt$
Recursion=Yes
Zarnfolder=$data/prog
Start=$1.zarn
[Log]
Log=$data/log/$1${2:+-$2}.log
[String_parm]
Parm1=$count
EOF
  echo "$file"
}

# The command of a tool on the tree $work.
tool_command() {
  case $1 in
    cp) echo "cp -r '$src' '$work'" ;;
    sed) echo "find '$work' -type f -name '*.txt' -print0 | LC_ALL=C xargs -0 sed -i 's/foo/bar/g'" ;;
    sed-utf8) echo "find '$work' -type f -name '*.txt' -print0 | LC_ALL=C.UTF-8 xargs -0 sed -i 's/foo/bar/g'" ;;
    perl) echo "find '$work' -type f -name '*.txt' -print0 | xargs -0 perl -pi -e 's/foo/bar/g'" ;;
    sd) echo "find '$work' -type f -name '*.txt' -print0 | xargs -0 sd foo bar" ;;
    zarn-loop) echo "'$zarn' '$(params loop)'" ;;
    zarn-loop-j1) echo "'$zarn' --jobs 1 '$(params loop)'" ;;
    zarn-loop-j2) echo "'$zarn' --jobs 2 '$(params loop)'" ;;
    # Two runs that share nothing but the tree: each shard of a split in two,
    # side by side, with one thread each. What the machine gives two cores
    # that need not wait for each other, the measure of --jobs 2.
    zarn-loop-2shards) echo "'$zarn' --jobs 1 --shard 0/2 '$(params loop)' & '$zarn' --jobs 1 --shard 1/2 '$(params loop)' || exit; wait \$!" ;;
    zarn-scan) echo "'$zarn' '$(params scan)'" ;;
    find-read) echo "find '$work' -type f -name '*.txt' -exec cat {} + >/dev/null" ;;
    zarn-sr) echo "'$zarn' '$(params sr)'" ;;
    zarn-loop-utf8) echo "'$zarn' '$(params loop UTF-8)'" ;;
    zarn-sr-utf8) echo "'$zarn' '$(params sr UTF-8)'" ;;
    perl-count) echo "perl -e 'my \$n = shift; my \$i = 0; while (1) { \$i = \$i + 1; my \$done = \$i >= \$n ? 1 : 0; last if \$done } print \"\$i\\n\"' $count" ;;
    awk-count) echo "awk -v n=$count 'BEGIN { i = 0; while (1) { i = i + 1; done = (i >= n) ? 1 : 0; if (done) break } print i }'" ;;
    zarn-count) echo "'$zarn' '$(params count)'" ;;
  esac
}

results=$data/results.txt
: > "$results"

# Runs one tool once on a fresh copy; appends "workload tool seconds kib".
time_one() {  # workload tool
  local w=$1 tool=$2 cmd out status start end kib
  rm -rf "$work"
  [[ $tool == cp ]] || cp -r "$src" "$work"
  cmd=$(tool_command "$tool")
  # The copy, and the removal of the last run's tree, reach the disk before
  # the clock starts, so that no run pays for another's write-back.
  sync
  sleep "${BENCH_SETTLE:-0.3}"
  start=$(date +%s%N)
  status=0
  out=$(/usr/bin/time -f '%M' -o "$data/mem" timeout "$limit" bash -c "$cmd") || status=$?
  end=$(date +%s%N)
  kib=$(tail -n 1 "$data/mem")
  if [[ $status -eq 124 ]]; then
    echo "$w $tool timeout $kib" >> "$results"
    echo "  $w $tool: gave up after ${limit}s" >&2
    return
  fi
  if [[ $status -ne 0 ]]; then
    echo "$w $tool failed with status $status" >&2; exit 1
  fi
  check "$w" "$tool" "$out"
  echo "$w $tool $(( (end - start) / 1000000 )) $kib" >> "$results"
}

# The output must be sed's, byte for byte (the loops: the count reached).
check() {  # workload tool output
  local w=$1 tool=$2 out=$3
  case $tool in
    cp|find-read|zarn-scan)
      diff -rq "$src" "$work" >/dev/null || { echo "$tool changed the tree" >&2; exit 1; } ;;
    perl-count|awk-count)
      [[ $out == "$count" ]] || { echo "$tool counted to '$out'" >&2; exit 1; } ;;
    zarn-count)
      grep -q "^ *$count"$'\r'"\$" "$data/log/count.log" ||
        { echo "zarn did not count to $count" >&2; exit 1; } ;;
    sed|sed-utf8)
      if [[ ! -d "$data/ref/$w" ]]; then
        if grep -rq foo "$work"; then echo "sed left a foo" >&2; exit 1; fi
        cp -r "$work" "$data/ref/$w"
      fi
      diff -rq "$data/ref/$w" "$work" >/dev/null || { echo "sed output changed between runs" >&2; exit 1; } ;;
    *)
      diff -rq "$data/ref/$w" "$work" >/dev/null ||
        { echo "$w: the output of $tool differs from sed's" >&2; exit 1; } ;;
  esac
}

run_workload() {  # workload corpus-name tools...
  local w=$1 name=$2; shift 2
  src=$corpus/$name
  rm -rf "${data:?}/ref/$w"
  local n=$quick_runs
  case $w in W-tree|W-tree-scan) n=$runs ;; esac
  echo "== $w ($n runs of: $*)" >&2
  for ((r = 1; r <= n; r++)); do
    for tool in "$@"; do time_one "$w" "$tool"; done
  done
  rm -rf "$work"
}

wanted() { [[ ",$only," == *",$1,"* ]]; }

# sd is a peer where it is installed (Debian package sd).
sd=()
command -v sd >/dev/null && sd=(sd)

started=$(date +%s)
if wanted W-many; then
  make_corpus many many
  run_workload W-many many cp sed perl "${sd[@]}" zarn-loop zarn-sr \
    zarn-loop-utf8 zarn-sr-utf8 zarn-loop-j1 zarn-loop-j2 zarn-loop-2shards
fi
if wanted W-utf8; then
  make_corpus many-utf8 many-utf8
  run_workload W-utf8 many-utf8 cp sed-utf8 sed zarn-loop zarn-sr zarn-loop-utf8 zarn-sr-utf8
fi
if wanted W-big; then
  make_corpus_sized big$big_mib big "$big_mib"
  run_workload W-big "big$big_mib" cp sed perl "${sd[@]}" zarn-loop zarn-sr
fi
if wanted W-big-sparse; then
  make_corpus_sized sparse$big_mib sparse "$big_mib"
  run_workload W-big-sparse "sparse$big_mib" cp sed perl "${sd[@]}" zarn-loop zarn-sr
fi
if wanted W-big-4x; then
  make_corpus_sized big$((4 * big_mib)) big $((4 * big_mib))
  run_workload W-big-4x "big$((4 * big_mib))" cp sed zarn-loop zarn-sr
fi
if wanted W-tree; then
  make_corpus_sized tree$tree_files tree "$tree_files"
  run_workload W-tree "tree$tree_files" cp sed "${sd[@]}" zarn-loop zarn-sr
fi
if wanted W-tree-scan; then
  make_corpus_sized tree$tree_files tree "$tree_files"
  run_workload W-tree-scan "tree$tree_files" find-read zarn-scan
fi
if wanted W-interp; then
  make_corpus interp interp
  run_workload W-interp interp perl-count awk-count zarn-count
fi
elapsed=$(( $(date +%s) - started ))

# --- the table -----------------------------------------------------------------
largest_mib() {  # corpus name -> size of its largest file in MiB
  find "$corpus/$1" -type f -printf '%s\n' | sort -n | tail -n 1 |
    awk '{ printf "%.1f", $1 / 1048576 }'
}
declare -A largest=(
  [W-many]=$( [[ -d $corpus/many ]] && largest_mib many || echo 0)
  [W-utf8]=$( [[ -d $corpus/many-utf8 ]] && largest_mib many-utf8 || echo 0)
  [W-big]=$( [[ -d $corpus/big$big_mib ]] && largest_mib "big$big_mib" || echo 0)
  [W-big-sparse]=$( [[ -d $corpus/sparse$big_mib ]] && largest_mib "sparse$big_mib" || echo 0)
  [W-big-4x]=$( [[ -d $corpus/big$((4 * big_mib)) ]] && largest_mib "big$((4 * big_mib))" || echo 0)
  [W-interp]=0
  [W-tree]=$( [[ -d $corpus/tree$tree_files ]] && largest_mib "tree$tree_files" || echo 0)
  [W-tree-scan]=$( [[ -d $corpus/tree$tree_files ]] && largest_mib "tree$tree_files" || echo 0)
)
largest_list=""
for w in "${!largest[@]}"; do largest_list+="$w=${largest[$w]} "; done

echo
echo "Zarn: $zarn"
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(awk '/MemTotal/ { printf "%.0f GB", $2 / 1048576 }' /proc/meminfo); files on $(stat -f -c %T "$data") ($data); $runs runs per tool; ${elapsed}s in all"
awk -v largest="$largest_list" -v tree_files="$tree_files" '
  function median(list, n,   a, i, j, t) {
    n = split(list, a, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++)
      if (a[j] + 0 < a[i] + 0) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  function fmt(ms) { return sprintf("%.3f", ms / 1000) }
  function target(label, value, bound,   ok) {
    if (value < 0) return
    ok = value <= bound + 0
    if (!ok) fails++
    printf "  %-44s %8.2f <= %-6s %s\n", label, value, bound, ok ? "ok" : "MISSED"
  }
  function ratio(a, b) { return (a in med && b in med && med[a] > 0 && med[b] > 0) ? med[a] / med[b] : -1 }
  BEGIN { split(largest, pairs, " "); for (p in pairs) { split(pairs[p], kv, "="); big[kv[1]] = kv[2] } }
  {
    key = $1 SUBSEP $2
    if (!(key in seen)) { seen[key] = 1; order[++n] = key; if (!($1 in wseen)) { wseen[$1] = 1; worder[++nw] = $1 } }
    if ($3 == "timeout") { timeouts[key]++ } else { times[key] = times[key] " " $3 }
    if ($4 + 0 > peak[key]) peak[key] = $4 + 0
    if ($3 != "timeout") {
      if (!(key in lo) || $3 + 0 < lo[key]) lo[key] = $3 + 0
      if ($3 + 0 > hi[key]) hi[key] = $3 + 0
    }
  }
  END {
    for (i = 1; i <= n; i++) { k = order[i]; med[k] = (k in times) ? median(times[k]) : -1 }
    printf "\n| Workload | Tool | Median s | Min s | Max s | x sed | x floor | Peak MiB |\n"
    printf "|---|---|---:|---:|---:|---:|---:|---:|\n"
    for (i = 1; i <= n; i++) {
      k = order[i]; split(k, parts, SUBSEP); w = parts[1]; t = parts[2]
      ref = (w == "W-interp") ? w SUBSEP "perl-count" : w SUBSEP "sed"
      if (w == "W-utf8") ref = w SUBSEP "sed-utf8"
      floor = (w == "W-tree-scan") ? w SUBSEP "find-read" : w SUBSEP "cp"
      if (med[k] < 0) { printf "| %s | %s | timeout | | | | | %.0f |\n", w, t, peak[k] / 1024; continue }
      xr = (ref in med && med[ref] > 0) ? sprintf("%.2f", med[k] / med[ref]) : "-"
      xf = (floor in med && med[floor] > 0) ? sprintf("%.2f", med[k] / med[floor]) : "-"
      printf "| %s | %s | %s | %s | %s | %s | %s | %.0f |\n", w, t, fmt(med[k]), fmt(lo[k]), fmt(hi[k]), xr, xf, peak[k] / 1024
    }
    printf "\n(x sed: for W-interp the ratio to perl, for W-utf8 to sed in a UTF-8 locale.)\n\nTargets:\n"
    fails = 0
    target("loop / sed, W-many", ratio("W-many" SUBSEP "zarn-loop", "W-many" SUBSEP "sed"), 1.0)
    target("loop / sed, W-big", ratio("W-big" SUBSEP "zarn-loop", "W-big" SUBSEP "sed"), 1.0)
    target("loop / sed, W-big-sparse", ratio("W-big-sparse" SUBSEP "zarn-loop", "W-big-sparse" SUBSEP "sed"), 0.5)
    target("sr / sed, W-many", ratio("W-many" SUBSEP "zarn-sr", "W-many" SUBSEP "sed"), 0.5)
    target("sr / sed, W-big", ratio("W-big" SUBSEP "zarn-sr", "W-big" SUBSEP "sed"), 0.5)
    target("sr / sed, W-big-sparse", ratio("W-big-sparse" SUBSEP "zarn-sr", "W-big-sparse" SUBSEP "sed"), 0.5)
    target("loop utf-8 / loop bytes, W-utf8", ratio("W-utf8" SUBSEP "zarn-loop-utf8", "W-utf8" SUBSEP "zarn-loop"), 1.3)
    target("sr utf-8 / sr bytes, W-utf8", ratio("W-utf8" SUBSEP "zarn-sr-utf8", "W-utf8" SUBSEP "zarn-sr"), 1.3)
    target("loop utf-8 / sed utf-8, W-utf8", ratio("W-utf8" SUBSEP "zarn-loop-utf8", "W-utf8" SUBSEP "sed-utf8"), 1.0)
    target("sr utf-8 / sed utf-8, W-utf8", ratio("W-utf8" SUBSEP "zarn-sr-utf8", "W-utf8" SUBSEP "sed-utf8"), 1.0)
    target("loop utf-8 / loop bytes, W-many (ASCII)", ratio("W-many" SUBSEP "zarn-loop-utf8", "W-many" SUBSEP "zarn-loop"), 1.05)
    target("sr utf-8 / sr bytes, W-many (ASCII)", ratio("W-many" SUBSEP "zarn-sr-utf8", "W-many" SUBSEP "zarn-sr"), 1.05)
    target("zarn / perl, W-interp", ratio("W-interp" SUBSEP "zarn-count", "W-interp" SUBSEP "perl-count"), 1.0)
    target("loop, W-big-4x / W-big", ratio("W-big-4x" SUBSEP "zarn-loop", "W-big" SUBSEP "zarn-loop"), 4.5)
    target("sr, W-big-4x / W-big", ratio("W-big-4x" SUBSEP "zarn-sr", "W-big" SUBSEP "zarn-sr"), 4.5)
    target("loop --jobs 2 / --jobs 1, W-many", ratio("W-many" SUBSEP "zarn-loop-j2", "W-many" SUBSEP "zarn-loop-j1"), 0.55)
    x = ratio("W-many" SUBSEP "zarn-loop-2shards", "W-many" SUBSEP "zarn-loop-j1")
    if (x >= 0) printf "  %-44s %8.2f    (two shards side by side, no target)\n", "loop 2 x --jobs 1 / --jobs 1, W-many", x
    target("loop / sed, W-tree", ratio("W-tree" SUBSEP "zarn-loop", "W-tree" SUBSEP "sed"), 1.0)
    target("sr / sed, W-tree", ratio("W-tree" SUBSEP "zarn-sr", "W-tree" SUBSEP "sed"), 1.0)
    # Ahead of sd wherever it ran: the one-liner, which does the job of sd (one
    # replacement of every match), on every workload; the scan loop (an
    # interpreted program of seven operations per match) on W-tree, where the
    # cost per file decides.
    for (w = 1; w <= nw; w++) {
      if (worder[w] == "W-tree")
        target("loop / sd, " worder[w], ratio(worder[w] SUBSEP "zarn-loop", worder[w] SUBSEP "sd"), 1.0)
      target("sr / sd, " worder[w], ratio(worder[w] SUBSEP "zarn-sr", worder[w] SUBSEP "sd"), 1.0)
    }
    if (("W-tree-scan" SUBSEP "zarn-scan") in med && med["W-tree-scan" SUBSEP "zarn-scan"] > 0) {
      printf "  files per second with nothing to change, W-tree: zarn %.0f, find reading every file %.0f\n", tree_files * 1000 / med["W-tree-scan" SUBSEP "zarn-scan"], (("W-tree-scan" SUBSEP "find-read") in med && med["W-tree-scan" SUBSEP "find-read"] > 0) ? tree_files * 1000 / med["W-tree-scan" SUBSEP "find-read"] : 0
    }
    for (i = 1; i <= nw; i++) {
      w = worder[i]
      for (j = 1; j <= n; j++) {
        split(order[j], parts, SUBSEP)
        if (parts[1] != w || parts[2] !~ /^zarn/) continue
        bound = 2.5 * big[w] + 50
        target("peak MiB of " parts[2] ", " w, peak[order[j]] / 1024, sprintf("%.0f", bound))
      }
    }
    for (i = 1; i <= n; i++) if (order[i] in timeouts) { split(order[i], parts, SUBSEP); printf "  %s %s: %d run(s) gave up\n", parts[1], parts[2], timeouts[order[i]]; fails++ }
    printf "%s\n", fails ? fails " target(s) missed" : "every target met"
  }' "$results"

#!/usr/bin/env bash
# Builds one fuzz target with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang), and runs it for SECONDS.
#
#   fuzz/run.sh TARGET SECONDS [libFuzzer options...]
#
# TARGET is ini, program, eval, search, run or utf8run. The stored corpus
# fuzz/corpus/TARGET seeds a working corpus in build/fuzz/corpus/TARGET,
# which keeps what the fuzzer finds from one run to the next. Crashes, hangs
# (over 10 s for one input), leaks and runaway memory land in
# build/fuzz/artifacts/TARGET/. A single allocation over 2 GB is a finding
# (the functions refuse results over 1 GB); the process as a whole may use
# up to 6 GB, since a few texts of the largest allowed size are legitimate. Once the cause is fixed, copy the input into
# fuzz/corpus/TARGET: the test suite replays every file there.
set -euo pipefail
cd "$(dirname "$0")/.."

usage="usage: fuzz/run.sh ini|program|eval|search|run|utf8run SECONDS [libFuzzer options]"
target=${1:?$usage}
seconds=${2:?$usage}
shift 2
case $target in
  ini | program | eval | search | run | utf8run) ;;
  *) echo "$usage" >&2; exit 64 ;;
esac

build=build/fuzz
mkdir -p "$build"
# Two targets may be started side by side: one build at a time.
(
  flock 9
  # Configured every time: a target added since the last build is known.
  cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_FUZZ=ON -DZARN_TESTS=OFF \
    >/dev/null
  cmake --build "$build" --target "zarn_fuzz_$target" \
    -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
) 9>"$build/.build-lock"

work="$build/corpus/$target"
artifacts="$build/artifacts/$target"
mkdir -p "$work" "$artifacts"
options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=6144
         -malloc_limit_mb=2048
         -artifact_prefix="$artifacts/" -print_final_stats=1)
dict=fuzz/${target/utf8run/run}.dict  # a run in UTF-8 mode: the same words
[ -f "$dict" ] && options+=(-dict="$dict")
# Leaks are checked at exit of each input; the first directory receives
# the new inputs, the stored corpus is only read.
exec "$build/zarn_fuzz_$target" "${options[@]}" "$@" "$work" "fuzz/corpus/$target"

#!/usr/bin/env bash
# Builds Zarn and runs the example job on a scratch copy of examples/,
# then shows what changed and the log. The shipped files are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DZARN_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" --target zarn >/dev/null

scratch=$(mktemp -d /tmp/zarn-example-XXXXXX)
cp -r examples/data "$scratch/data"
cp -r examples/data "$scratch/original"
sed -e "s|@DATA@|$scratch/data|" -e "s|@PROG@|$PWD/examples/prog|" \
    -e "s|@LOG@|$scratch/zarn.log|" examples/params.ini.in > "$scratch/params.ini"

echo "== zarn $scratch/params.ini"
status=0
build/release/zarn "$scratch/params.ini" || status=$?
echo "== exit status $status"
echo "== what changed"
(cd "$scratch" && diff -ru original data) || true
echo "== the log ($scratch/zarn.log)"
cat "$scratch/zarn.log"
echo "== scratch copy kept in $scratch"
exit "$status"

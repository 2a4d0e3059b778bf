#!/usr/bin/env bash
# Fails when a C++ source of the repository differs from what clang-format
# (the repository's .clang-format) makes of it; lists the files that do.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=()
while IFS= read -r f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done < <(git ls-files '*.cc' '*.h' 2>/dev/null || find src tests fuzz bench -name '*.cc' -o -name '*.h')
if [ ${#bad[@]} -gt 0 ]; then
  echo "check_format: not formatted (run clang-format -i on them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi

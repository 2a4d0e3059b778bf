#!/usr/bin/env bash
# Plants deliberate faults in src/, one at a time, and records whether the
# test suite notices each: the fault is written into its file, Zarn and the
# test programs are rebuilt, ctest runs, and the file gets its original
# bytes back. A fault is caught when any test fails (a build failure is
# reported as such: the fault itself is then wrong).
#
#   bash scripts/plant_faults.sh [RESULT-FILE] [FAULT-NUMBER...]
#   bash scripts/plant_faults.sh --check    # only checks the table
#
# The result table goes to RESULT-FILE (default: standard output only).
# BUILD names the build folder (default build/faults); JOBS the parallel
# jobs (default 2). Every fault's original text must occur exactly once in
# its file, which is checked for all of them before anything is changed: a
# change to the code that moves or rewrites one shows up here at once.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${BUILD:-build/faults}
JOBS=${JOBS:-2}
RESULT=${1:-/dev/null}
shift || true
ONLY=" $* "

# One fault per line: file, the exact original text, its replacement, and
# what the fault does.
FILES=() ORIGS=() REPLS=() WHATS=()
fault() { FILES+=("$1"); ORIGS+=("$2"); REPLS+=("$3"); WHATS+=("$4"); }

fault src/commands/position.cc 'MoveTo(m, position <= 0 ? 1 : position)' 'MoveTo(m, position < 0 ? 1 : position)' 'gback past the start stops at 0 instead of 1'
fault src/commands/position.cc 'const int64_t length = FileTextLength(m);' 'const int64_t length = FileTextLength(m) + 1;' 'gforw may move one past the last character'
fault src/commands/position.cc 'position = int64_t{r.startpos} + r.length - 1;' 'position = int64_t{r.startpos} + r.length;' 'gend goes one past the last character of the range'
fault src/commands/position.cc '!ToWholeNumber(value, count) || *count <= 0' '!ToWholeNumber(value, count) || *count < 0' 'a move count of 0 is accepted'
fault src/commands/search.cc 'FileTextLength(m) - end + 1);' 'FileTextLength(m) - end);' 'the after range of a match is one character short'
fault src/commands/search.cc 'RemoveRangeVars("*ctx");' 'RemoveRangeVars("*ctxx");' 'the capture ranges of an earlier search are kept'
fault src/commands/search.cc '/*ignore_case=*/mode == CaseMode::kIgnore' '/*ignore_case=*/mode != CaseMode::kIgnore' 'find and findup swap their letter-case rules'
fault src/commands/replace.cc 'if (r.startpos >= 1 && r.length >= 0) {' 'if (r.startpos >= 0 && r.length >= 0) {' 'rep replaces through a range without a start (0, 0)'
fault src/commands/replace.cc 'if (n_counted != l) {' 'if (n_counted > l) {' 'rep moves no range when the new text is shorter'
fault src/commands/range_adjust.cc 'new_length = S - s;' 'new_length = S - s + 1;' 'a range ending inside the replaced stretch keeps one character too many'
fault src/commands/range_adjust.cc 'new_length = l - L + N;' 'new_length = l - L;' 'a range covering the replaced stretch loses the new text'
fault src/commands/range_adjust.cc 'new_start = S + N;' 'new_start = S + N - 1;' 'a range starting inside the replaced stretch starts one too early'
fault src/commands/control.cc 'ScanUp(opers, number, "else", BlockOf(opers, number)), 1);' 'ScanUp(opers, number, "endif", BlockOf(opers, number)), 1);' 'a false if without else continues after its endif'
fault src/commands/control.cc 'ScanUp(opers, number, "lend", BlockOf(opers, number)), 1);' 'ScanUp(opers, number, "lend", BlockOf(opers, number)), 0);' 'a false loop head jumps onto its lend instead of past it'
fault src/commands/control.cc 'if (n <= 0) return number + 1;' 'if (n < 0) return number + 1;' 'lexit 0 leaves a loop'
fault src/commands/assign.cc 'if (!ToWholeNumber(value, &pos) || pos <= 0) {' 'if (!ToWholeNumber(value, &pos) || pos < 0) {' 'set *pos,0 is accepted'
fault src/commands/assign.cc 'if (from_set) SetIntVar(m, "*changes"' 'if (!from_set) SetIntVar(m, "*changes"' 'setc and cat of *filestring count the change, set does not'
fault src/commands/assign.cc 'std::string literal = GetWord("," + op.cut.rest + ",", ",", 1);' 'std::string literal = GetWord("," + op.cut.rest + ",", ",", 2);' 'setc stores the second word'
fault src/commands/wlog.cc 'ReportMissingArgument(m, op.keyword(), "", ErrorState::kFileFailed);' 'ReportMissingArgument(m, op.keyword(), "", ErrorState::kStopRun);' 'wlog without a name stops the run'
fault src/eval/functions_text.cc 'if (static_cast<size_t>(start) > (chars ? CountChars(t) : t.size())) {' 'if (static_cast<size_t>(start) >= (chars ? CountChars(t) : t.size())) {' 'pos refuses a start at the last character'
fault src/eval/functions_text.cc 'if (from + static_cast<size_t>(n) > length) {' 'if (from + static_cast<size_t>(n) >= length) {' 'mid refuses a piece that ends at the last character'
fault src/support/text.h 'for (; done < count; ++done) {' 'for (; done <= count; ++done) {' 'sr with a count replaces one occurrence too many'
fault src/eval/functions_word.cc 'const bool right = side == "1";' 'const bool right = side == "0";' 'fill pads on the wrong side'
fault src/eval/functions_word.cc 'if (code > 255) {' 'if (code > 256) {' 'chr(256) gives a character'
fault src/eval/functions_logic.cc '      return c >= 0;' '      return c > 0;' 'ge does not hold for equal values'
fault src/eval/functions_logic.cc 'const int c = *a < *b ? -1 : (*a > *b ? 1 : 0);' 'const int c = *a <= *b ? -1 : (*a > *b ? 1 : 0);' 'ifn compares equal numbers as less'
fault src/eval/args.cc '(sticky || magnitude % 2 == 1)' '(sticky || magnitude % 2 == 0)' 'whole-number arguments round halves to odd'
fault src/eval/args.cc 'rule.sign == WholeNumberRule::kAboveZero ? judged > 0 : judged >= 0' 'rule.sign == WholeNumberRule::kAboveZero ? judged >= 0 : judged >= 0' 'arguments that must be above zero accept 0'
fault src/eval/evaluator.cc 'while (start > 0 && IsNameChar(done[start - 1])) --start;' 'while (start > 1 && IsNameChar(done[start - 1])) --start;' 'a call at the very start of an expression loses the first letter of its name'
fault src/eval/evaluator.cc 'const std::string_view var = ResultName(++calls, &buf);' 'const std::string_view var = ResultName(calls++, &buf);' 'result variables are numbered from 0'
fault src/program/structure_check.cc 'if (!ToWholeNumber(parm, &value) || value < 0) return "ZARNCTP005CT";' 'if (!ToWholeNumber(parm, &value) || value <= 0) return "ZARNCTP005CT";' 'the structure check refuses loop 0'
fault src/variables/file_text.cc '        std::memcpy(base + write, to.data(), to.size());
        write += to.size();' '        std::memcpy(base + write, to.data(), to.size());
        write += from.size();' 'the in-place sr keeps old bytes behind each shorter replacement'
fault src/run/file_loop.cc 'const bool rewrite = changes > 0 && !text.IsOriginal();' 'const bool rewrite = changes > 0;' 'files whose text comes out as read are rewritten too'
fault src/commands/dispatcher.cc 'while (m.CurOper <= count) {' 'while (m.CurOper < count) {' 'the last operation of a program never runs'
fault src/run/file_loop.cc 'if (st.machine.ErrFlag != ErrorState::kStopRun)' 'if (st.machine.ErrFlag == ErrorState::kStopRun)' 'a failed write-back does not fail the file (exit 0 instead of 3)'
fault src/run/file_loop.cc 'const bool backup = !options.dry_run && !options.backup_suffix.empty();
  std::string& content' 'const bool backup = options.dry_run && !options.backup_suffix.empty();
  std::string& content' 'a real run makes no backups'
fault src/run/file_loop.cc 'int64_t{IntVar(st.machine, "*allfiles")} + 1);' 'int64_t{IntVar(st.machine, "*allfiles")} + 2);' 'every file counts twice in *allfiles'
fault src/run/parameters.cc 's.RecurseFlag = IsUndefined(value) || value == "Yes";' 's.RecurseFlag = !IsUndefined(value) || value == "Yes";' 'recursion is off unless a Recursion value is given'
fault src/support/file_system.cc 'mode_t mode = had_old ? (old.st_mode & 07777) : DefaultFileMode();' 'mode_t mode = had_old ? (old.st_mode & 0777) : DefaultFileMode();' 'a replaced file loses its set-id bits'
fault src/support/file_system.cc '  if (sync_writes()) {
    if (int err = Sync(fd.get(), /*is_folder=*/false)) return fail(err);' '  if (!sync_writes()) {
    if (int err = Sync(fd.get(), /*is_folder=*/false)) return fail(err);' 'a file is forced to disk exactly when --fsync is not given'
fault src/support/file_system.cc '  UniqueFd fd(fd_raw);
  auto fail = [&](int err) {
    ::unlinkat(folder, temp->c_str(), 0);' '  UniqueFd fd(fd_raw);
  auto fail = [&](int err) {' 'a failed replacement leaves its temporary file behind'
fault src/support/file_system.cc 'return type == DT_REG && name[0] != '"'"'.'"'"';' 'return type == DT_REG && name[0] != '"'"'_'"'"';' 'hidden files (and left-over temporaries) are selected'
fault src/eval/functions_logic.cc 'KnownNumber(pieces[*holds ? 3 : 4]' 'KnownNumber(pieces[*holds ? 4 : 3]' 'ifn over arguments known as numbers chooses the other argument'
fault src/eval/functions_logic.cc '      !decimal) {' '      false) {' 'ifn over known numbers hands on a literal written otherwise (007) as its number'
fault src/commands/control.cc '      return n == 1;' '      return n != 0;' 'a condition naming a variable that holds a number holds for any number but 0'

# Exactly one occurrence of text (taken from the environment, never
# interpreted) in the file; replaces it when asked.
occurrences() {
  ORIG="$2" perl -0777 -ne 'my $o = $ENV{ORIG}; my $n = () = /\Q$o\E/g; print $n' "$1"
}
replace_once() {
  ORIG="$2" REPL="$3" perl -0777 -pi -e \
    'BEGIN { $o = $ENV{ORIG}; $r = $ENV{REPL} } s/\Q$o\E/$r/' "$1"
}

bad=0
for i in "${!FILES[@]}"; do
  n=$(occurrences "${FILES[$i]}" "${ORIGS[$i]}")
  if [ "$n" != 1 ]; then
    echo "fault $((i + 1)) (${WHATS[$i]}): its text occurs $n times in ${FILES[$i]}" >&2
    bad=1
  fi
done
[ "$bad" = 0 ] || { echo "plant_faults: the fault table no longer fits src/" >&2; exit 2; }
if [ "$RESULT" = --check ]; then echo "${#FILES[@]} faults, each found once"; exit 0; fi

# Whatever happens, every planted file gets its bytes back (with a new
# time stamp, so that the next build compiles it again).
SAVE=$(mktemp -d)
restore() {
  for p in "$SAVE"/*.path; do
    [ -e "$p" ] && cp "${p%.path}" "$(cat "$p")"
  done
  rm -rf "$SAVE"
}
trap restore EXIT
trap 'exit 130' INT TERM

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DZARN_TEST_COMPILE_OPTIONS=-O0 \
  -DZARN_WERROR=ON >/dev/null
cmake --build "$BUILD" -j"$JOBS" >/dev/null

printf '%-3s %-7s %-32s %s\n' '#' 'result' 'file' 'fault' | tee "$RESULT"
caught=0 missed=0
for i in "${!FILES[@]}"; do
  num=$((i + 1))
  if [ "$ONLY" != "  " ] && [[ "$ONLY" != *" $num "* ]]; then continue; fi
  file=${FILES[$i]}
  key=$SAVE/$num
  cp "$file" "$key"
  echo "$file" > "$key.path"
  replace_once "$file" "${ORIGS[$i]}" "${REPLS[$i]}"
  rm -f "$SAVE/ctest.log"
  if ! cmake --build "$BUILD" -j"$JOBS" >"$SAVE/build.log" 2>&1; then
    result=BUILD
  elif ctest --test-dir "$BUILD" -j"$JOBS" --timeout 120 --stop-on-failure \
       >"$SAVE/ctest.log" 2>&1; then
    result=missed
    missed=$((missed + 1))
  else
    result=caught
    caught=$((caught + 1))
  fi
  failed=$(grep -m1 -E ' - .*\((Failed|Timeout|SEGFAULT|Subprocess)' "$SAVE/ctest.log" 2>/dev/null | sed -E 's/.* - //; s/ +# .*//; s/ \(.*//' || true)
  cp "$key" "$file"
  rm -f "$key" "$key.path"
  printf '%-3s %-7s %-32s %s%s\n' "$num" "$result" "$file" "${WHATS[$i]}" \
    "${failed:+ [first failure: $failed]}" | tee -a "$RESULT"
done
# The restored sources built once more, so that the build folder matches.
cmake --build "$BUILD" -j"$JOBS" >/dev/null
echo "caught $caught, missed $missed" | tee -a "$RESULT"

#!/usr/bin/env bash
# Times a batch replace with the undo journal against the same replace
# without it (bin/undo_bench): with links the journal may cost at most 1.2
# times, with copies 2 times.
#
# Then, through strbatch-cli with two runs of BENCH_FILES (default 100,000)
# small files kept, that the journal costs the same at any size: a replace
# of one small file within 1.2 times the same with --no-undo, undo --list
# under 0.1 s, a replace of all the files within 1.3 times --no-undo (sed -i
# shown beside), and their undo no slower than the replace.
#
#   bench/undo_bench.sh [BUILD_DIR] [WORK_DIR]
#
# Corpus: the replace benchmark's small one (2,000 GBK files of about 50 KB,
# 20 plain definitions). Environment: BENCH_RUNS (default 3, the median is
# shown), BENCH_FILES (0 leaves out the CLI part), BENCH_SMALL (0 leaves out
# the first part). Exit status 1 when a bound is passed or an undo fails.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-undo-bench-XXXXXX")}"
[[ -x "$build/bin/undo_bench" || "${BENCH_SMALL:-1}" == 0 ]] || {
  echo "build undo_bench first"
  exit 1
}
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
echo "working in $work"
status=0
if [[ "${BENCH_SMALL:-1}" != 0 ]]; then
  python3 "$here/bench/make_corpus.py" "$work" 0
  echo "2,000 files x 50 KB, 20 definitions:"
  "$build/bin/undo_bench" "$work/small" "$work/definitions.tsv" "${BENCH_RUNS:-3}" |
    sed 's/^/  /' || status=1
fi

# Runs a command (its output dropped); prints the seconds it took on the
# clock and in processor time (user and system), which other work on a
# shared machine moves far less than the clock.
measure() {
  local TIMEFORMAT='%R %U %S' out
  out=$({ time "$@" >/dev/null 2>&1; } 2>&1) || { echo "failed: $*" >&2; return 1; }
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' <<<"$out"
}
# The same, the run of BENCH_RUNS with the median processor time.
median_measure() {
  local r lines=()
  for ((r = 0; r < ${BENCH_RUNS:-3}; r++)); do lines+=("$(measure "$@")") || return 1; done
  printf '%s\n' "${lines[@]}" | sort -n -k2 | sed -n "$(((${#lines[@]} + 1) / 2))p"
}
# Prints a measurement beside its base, judged by processor time; status 1
# above bound.
judge() {  # name "clock processor" base-name "clock processor" bound
  local c1 p1 c2 p2 ratio verdict=ok
  read -r c1 p1 <<<"$2"
  read -r c2 p2 <<<"$4"
  ratio=$(awk -v a="$p1" -v b="$p2" 'BEGIN { printf("%.2f", (b > 0 ? a / b : 0)) }')
  if awk -v r="$ratio" -v m="$5" 'BEGIN { exit !(r > m) }'; then
    verdict="OVER $5"
    status=1
  fi
  printf '  %-30s %7.3f s, processor %7.3f s: %5.2fx %s (%.3f s, %.3f s; %s)\n' \
    "$1" "$c1" "$p1" "$ratio" "$3" "$c2" "$p2" "$verdict"
}

cli="$build/bin/strbatch-cli"
files=${BENCH_FILES:-100000}
if [[ -x "$cli" && "$files" -gt 0 ]]; then
  export STRBATCH_CONFIG="$work/config"
  large="$work/large"
  rm -rf "$large" "$STRBATCH_TMPDIR"
  mkdir -p "$large/many" "$large/one"
  python3 - "$large/many" "$files" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    with open(os.path.join(folder, "f%06d.txt" % i), "w") as f:
        f.write("alpha %d\n" % i)
PY
  printf 'x\n' >"$large/one/small.txt"
  many=(--folder "$large/many")
  small=("$large/one/small.txt")
  echo "$files files of a line each, two runs of them kept:"
  "$cli" replace -y -d alpha beta "${many[@]}" >/dev/null
  "$cli" replace -y -d beta alpha "${many[@]}" >/dev/null
  # Each replace of the small file changes it (it grows), so each
  # journalled one starts, finishes and prunes a run.
  plain_small=$(median_measure "$cli" replace -y --no-undo -d x xx "${small[@]}")
  undo_small=$(median_measure "$cli" replace -y -d x xx "${small[@]}")
  judge "replace -y, one small file" "$undo_small" "--no-undo" "$plain_small" 1.2
  list=$(median_measure "$cli" undo --list)
  judge "undo --list" "$list" "of 0.1 s" "0.1 0.1" 1.0
  plain_many=$(measure "$cli" replace -y --no-undo -d alpha gamma "${many[@]}")
  undo_many=$(measure "$cli" replace -y -d gamma alpha "${many[@]}")
  judge "replace -y, $files files" "$undo_many" "--no-undo" "$plain_many" 1.3
  undo_back=$(measure "$cli" undo -y)
  judge "undo -y of that replace" "$undo_back" "the replace" "$undo_many" 1.0
  [[ "$(cat "$large/many/f000001.txt")" == "gamma 1" ]] || { echo "undo gave wrong bytes"; status=1; }
  sed_many=$(measure find "$large/many" -name '*.txt' -exec sed -i s/gamma/delta/ {} +)
  judge "sed -i, $files files" "$sed_many" "--no-undo" "$plain_many" 1000
fi

if [[ "${BENCH_KEEP:-0}" != 1 && -z "${2:-}" ]]; then rm -rf "$work"; fi
exit $status

#!/usr/bin/env bash
# Times the preview of a batch replace against the batch replace itself on
# the same files: the core's preview (what the window computes before its
# preview opens, bin/preview_bench; it must stay within 1.5 times the
# replace), then strbatch-cli replace --dry-run with its unified diff and
# with its JSON plan (for information: printing every change costs more).
#
#   bench/preview_bench.sh [BUILD_DIR] [WORK_DIR]
#
# Corpus: the replace benchmark's small one (2,000 GBK files of about 50 KB,
# 20 plain definitions). Environment: BENCH_RUNS (default 3, the median is
# shown). Exit status 1 when the preview takes longer than 1.5 times the
# replace, its changes do not give the replace's bytes, or the dry run
# changes a file.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/strbatch-cli"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-preview-bench-XXXXXX")}"
runs="${BENCH_RUNS:-3}"
[[ -x "$cli" ]] || { echo "build strbatch-cli first ($cli)"; exit 1; }
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
echo "working in $work"

python3 "$here/bench/make_corpus.py" "$work" 0

mapfile -t defs <"$work/definitions.tsv"
cli_args=()
for line in "${defs[@]}"; do
  cli_args+=(-d "${line%%$'\t'*}" "${line#*$'\t'}")
done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# time_run NAME COMMAND...: the median time of COMMAND in a fresh copy of
# the corpus, its standard output thrown away.
declare -A seconds
time_run() {
  local name="$1"
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/run"
    cp -r "$work/small" "$work/run"
    local start end
    start=$(date +%s.%N)
    (cd "$work/run" && "$@" >"$work/out" 2>"$work/err") || true
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  seconds[$name]=$(printf '%s\n' "${times[@]}" | median)
  printf '  %-26s %8.2f s\n' "$name" "${seconds[$name]}"
}

files=$(cd "$work/small" && ls | sort)
status=0
echo "2,000 files x 50 KB, 20 definitions, the core's preview:"
"$build/bin/preview_bench" "$work/small" "$work/definitions.tsv" "$runs" | sed 's/^/  /' || status=1
echo "strbatch-cli:"
# shellcheck disable=SC2086
time_run "replace" "$cli" replace -y "${cli_args[@]}" -- $files
# shellcheck disable=SC2086
time_run "preview (unified diff)" "$cli" replace -n "${cli_args[@]}" -- $files
if ! diff -rq "$work/run" "$work/small" >/dev/null; then
  echo "  the preview changed files"
  status=1
fi
echo "  diff output: $(wc -l <"$work/out") lines"
# shellcheck disable=SC2086
time_run "preview (JSON plan)" "$cli" replace -n --json "${cli_args[@]}" -- $files
for name in "preview (unified diff)" "preview (JSON plan)"; do
  echo "  $name / replace: $(echo "scale=2; ${seconds[$name]} / ${seconds[replace]}" | bc)x"
done
rm -rf "$work/run"
if [[ "${BENCH_KEEP:-0}" != 1 && -z "${2:-}" ]]; then rm -rf "$work"; fi
exit $status

#!/usr/bin/env bash
# Times a batch replace with the undo journal against the same replace
# without it (bin/undo_bench): with links the journal may cost at most 1.2
# times, with copies 2 times.
#
#   bench/undo_bench.sh [BUILD_DIR] [WORK_DIR]
#
# Corpus: the replace benchmark's small one (2,000 GBK files of about 50 KB,
# 20 plain definitions). Environment: BENCH_RUNS (default 3, the median is
# shown). Exit status 1 when a bound is passed or an undo fails.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-undo-bench-XXXXXX")}"
[[ -x "$build/bin/undo_bench" ]] || { echo "build undo_bench first"; exit 1; }
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
echo "working in $work"
python3 "$here/bench/make_corpus.py" "$work" 0
echo "2,000 files x 50 KB, 20 definitions:"
status=0
"$build/bin/undo_bench" "$work/small" "$work/definitions.tsv" "${BENCH_RUNS:-3}" | sed 's/^/  /' ||
  status=1
if [[ "${BENCH_KEEP:-0}" != 1 && -z "${2:-}" ]]; then rm -rf "$work"; fi
exit $status

#!/usr/bin/env bash
# Times strbatch-cli over office documents through LibreOffice, on documents
# that bench/make_office_corpus.py makes (reused when WORK_DIR holds them):
#
#   bench/office_bench.sh [BUILD_DIR] [WORK_DIR]
#
#   find over 6,000 Chinese cells (.xls)                 goal: under 3 s
#   find, then replace, of 6,000 occurrences in one
#     paragraph (.doc)                                   goal: replace under 10 s
#                                                        and within 2x its find
#   replace over 20 small documents (.doc, .xls, .ppt)   goal: under 4 s
#   the same with --parts all, against LibreOffice's own
#     load and save of those 20 (soffice --convert-to,
#     one start per kind)                                goal: at most 0.5x
#
# Each time includes starting and ending LibreOffice. BENCH_RUNS (default 3)
# runs each; the median is shown. BENCH_600=1 adds the 600-occurrence
# paragraph.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/strbatch-cli"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-office-bench-XXXXXX")}"
runs="${BENCH_RUNS:-3}"
[[ -x "$cli" ]] || { echo "build strbatch-cli first ($cli)"; exit 1; }
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
echo "working in $work"
if [[ ! -f "$work/corpus/cells.xls" ]]; then
  /usr/bin/python3 "$here/bench/make_office_corpus.py" "$work/corpus"
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# run NAME COMMAND...: times COMMAND in a fresh copy of the corpus.
run() {
  local name="$1" times=()
  shift
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/run"
    cp -r "$work/corpus" "$work/run"
    local start end status=0
    start=$(date +%s.%N)
    (cd "$work/run" && "$@" >"$work/out" 2>"$work/err") || status=$?
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
    if [[ $status != 0 ]]; then
      echo "  $name: exit status $status"
      cat "$work/err"
    fi
  done
  last="$(printf '%s\n' "${times[@]}" | median)"
  printf '  %-50s %7.2f s   (%s)\n' "$name" "$last" "$(head -1 "$work/out" | cut -f1-2)"
}

run "find over 6,000 Chinese cells" "$cli" find -d 中文 x cells.xls
run "find 6,000 occurrences in one paragraph" "$cli" find -d cat x paragraph.doc
run "replace 6,000 occurrences in one paragraph" "$cli" replace -y -d cat kitten paragraph.doc
if [[ "${BENCH_600:-0}" == 1 ]]; then
  run "find 600 occurrences in one paragraph" "$cli" find -d cat x paragraph600.doc
  run "replace 600 occurrences in one paragraph" "$cli" replace -y -d cat kitten paragraph600.doc
fi
(cd "$work/corpus/batch" && ls) >"$work/batch.list"
mapfile -t batch <"$work/batch.list"
run "replace over 20 documents (.doc, .xls, .ppt)" \
  "$cli" replace -y -d cat kitten -d 中文 汉语 "${batch[@]/#/batch/}"
run "the same with --parts all" \
  "$cli" replace -y --parts all -d cat kitten -d 中文 汉语 "${batch[@]/#/batch/}"
ours="$last"

# LibreOffice itself loading and saving the same documents, each kind in one
# start, with a profile of its own.
soffice=/usr/bin/soffice
if [[ -x "$soffice" ]]; then
  convert() {
    local kind
    for kind in doc xls ppt; do
      compgen -G "batch/*.$kind" >/dev/null || continue
      "$soffice" -env:UserInstallation="file://$work/lo-profile" --headless --norestore \
        --convert-to "$kind" --outdir converted batch/*."$kind"
    done
  }
  run "LibreOffice: load and save of the 20 (--convert-to)" convert
  echo "  ratio (--parts all / LibreOffice): $(echo "scale=2; $ours / $last" | bc)   goal: at most 0.5"
else
  echo "  LibreOffice's soffice is not installed: no comparison"
fi
rm -rf "$work/run"

#!/usr/bin/env bash
# Times strbatch-cli replace against sed and perl on the same replacements,
# and checks every tool's output against the expected bytes.
#
#   bench/replace_bench.sh [BUILD_DIR] [WORK_DIR]
#
# Corpora (generated reproducibly, GBK Chinese and English, CRLF lines):
#   small: 2,000 files of about 50 KB;   large: 4 files of 100 MB.
# Definitions: 20 plain ones, 10 ASCII words and 10 Chinese words.
# Environment: BENCH_RUNS (default 3, the median is shown), BENCH_LARGE=0 to
# skip the large corpus.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/strbatch-cli"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-bench-XXXXXX")}"
runs="${BENCH_RUNS:-3}"
[[ -x "$cli" ]] || { echo "build strbatch-cli first ($cli)"; exit 1; }
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
echo "working in $work"

python3 "$here/bench/make_corpus.py" "$work" "${BENCH_LARGE:-1}"

# The definitions, one "find<TAB>replace" per line, in UTF-8.
mapfile -t defs <"$work/definitions.tsv"
cli_args=()
sed_script=""
perl_script=""
for line in "${defs[@]}"; do
  find="${line%%$'\t'*}"
  repl="${line#*$'\t'}"
  cli_args+=(-d "$find" "$repl")
  gfind="$(printf '%s' "$find" | iconv -f UTF-8 -t GBK)"
  grepl="$(printf '%s' "$repl" | iconv -f UTF-8 -t GBK)"
  sed_script+="s/$gfind/$grepl/g;"
  perl_script+="s/\\Q$gfind\\E/$grepl/g;"
done

have_gbk_locale=0
if locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$'; then have_gbk_locale=1; fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# run_tool NAME CORPUS COMMAND...: times COMMAND on fresh copies and checks
# the result against the expected bytes.
declare -A seconds correct
run_tool() {
  local name="$1" corpus="$2"
  shift 2
  local times=() ok=yes
  [[ $name == cp ]] && ok="-"
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/run"
    cp -r "$work/$corpus" "$work/run"
    local start end
    start=$(date +%s.%N)
    (cd "$work/run" && "$@" >/dev/null 2>"$work/tool.err") || { ok="failed"; }
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
    if [[ $i == 0 && $name != cp ]]; then
      if ! diff -rq "$work/run" "$work/$corpus.expected" >/dev/null; then ok=no; fi
    fi
  done
  seconds[$name.$corpus]=$(printf '%s\n' "${times[@]}" | median)
  correct[$name.$corpus]=$ok
  printf '  %-22s %8.2f s   output correct: %s\n' "$name" "${seconds[$name.$corpus]}" "$ok"
}

for corpus in small large; do
  [[ -d "$work/$corpus" ]] || continue
  echo "corpus $corpus:"
  files=$(cd "$work/$corpus" && ls | sort)
  # shellcheck disable=SC2086
  run_tool cp "$corpus" cp -r . "$work/cp-copy"
  rm -rf "$work/cp-copy"
  # shellcheck disable=SC2086
  run_tool strbatch "$corpus" "$cli" replace -y "${cli_args[@]}" -- $files
  # shellcheck disable=SC2086
  run_tool "sed (C locale)" "$corpus" env LC_ALL=C sed -i "$sed_script" $files
  if [[ $have_gbk_locale == 1 ]]; then
    # shellcheck disable=SC2086
    run_tool "sed (zh_CN.GBK)" "$corpus" env LC_ALL=zh_CN.GBK sed -i "$sed_script" $files
  fi
  # shellcheck disable=SC2086
  run_tool perl "$corpus" perl -pi -e "$perl_script" $files
  ratio=$(echo "scale=1; ${seconds[sed (C locale).$corpus]} / ${seconds[strbatch.$corpus]}" | bc)
  pratio=$(echo "scale=1; ${seconds[perl.$corpus]} / ${seconds[strbatch.$corpus]}" | bc)
  echo "  strbatch is ${ratio}x faster than sed -i and ${pratio}x faster than perl -pi"
  if command -v /usr/bin/time >/dev/null; then
    rm -rf "$work/run"
    cp -r "$work/$corpus" "$work/run"
    # shellcheck disable=SC2086
    (cd "$work/run" && /usr/bin/time -f '%M' -o "$work/rss" "$cli" replace -y "${cli_args[@]}" -- $files >/dev/null)
    largest=$(cd "$work/$corpus" && ls -l | awk 'NR>1 {if ($5 > m) m = $5} END {print m}')
    echo "  strbatch peak memory: $(( $(cat "$work/rss") / 1024 )) MiB (largest file $(( largest / 1048576 )) MiB)"
  fi
done
[[ $have_gbk_locale == 1 ]] || echo "(no zh_CN.GBK locale: make one with 'localedef -i zh_CN -f GBK zh_CN.GBK' to time GBK-aware sed)"
rm -rf "$work/run"
if [[ "${BENCH_KEEP:-0}" != 1 && -z "${2:-}" ]]; then rm -rf "$work"; fi

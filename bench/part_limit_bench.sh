#!/usr/bin/env bash
# Times strbatch-cli find over .docx files whose document.xml is huge when
# inflated, and shows its peak memory (/usr/bin/time -v):
#
#   bomb.docx   about 2 MB, document.xml inflating to 1.8 GB: refused by the
#               size the package declares (target: under 1 s, under 100 MB)
#   liar.docx   the same bytes, the declared sizes patched to 1000: refused
#               when the inflated count passes the limit
#   large.docx  a 300 MB document.xml of ordinary paragraphs, under the limit:
#               read and searched; its peak memory over 300 MB is the factor
#               a part's size costs
#
#   bench/part_limit_bench.sh [BUILD_DIR] [WORK_DIR]
#
# The files are made here (not kept in the repository). BENCH_SKIP_LARGE=1
# leaves the 300 MB run out.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/strbatch-cli"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-part-limit-bench-XXXXXX")}"
[[ -x "$cli" ]] || { echo "build strbatch-cli first ($cli)"; exit 1; }
mkdir -p "$work"
export STRBATCH_TMPDIR="$work/private"
export STRBATCH_SOFFICE=/nonexistent/soffice.bin
export STRBATCH_CONFIG="$work/strbatch.INI"
: >"$STRBATCH_CONFIG"

python3 - "$work" "${BENCH_SKIP_LARGE:-0}" <<'PY'
import os, struct, sys, zipfile
work, skipLarge = sys.argv[1], sys.argv[2] == "1"
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/'
        '2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
        '</Relationships>')
head = ('<?xml version="1.0" encoding="UTF-8"?><w:document %s><w:body><w:p><w:r><w:t>' % W).encode()
tail = b'</w:t></w:r></w:p></w:body></w:document>'

def write(path, size, block):
    # Whole blocks, then the text padded with "x" to the size.
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("_rels/.rels", rels)
        with z.open("word/document.xml", "w") as part:
            part.write(head)
            left = size - len(head) - len(tail)
            while left >= len(block):
                part.write(block)
                left -= len(block)
            part.write(b"x" * left)
            part.write(tail)

bomb = os.path.join(work, "bomb.docx")
if not os.path.exists(bomb):
    write(bomb, 1_800_000_000, b"A" * (1 << 24))
# The liar: the same archive, its part's uncompressed size in the local
# header (offset 22) and the central directory (offset 24) set to 1000.
data = bytearray(open(bomb, "rb").read())
name = b"word/document.xml"
for signature, offset, nameAt in ((b"PK\x03\x04", 22, 30), (b"PK\x01\x02", 24, 46)):
    at = data.find(signature)
    while at >= 0:
        if data[at + nameAt:at + nameAt + len(name)] == name:
            data[at + offset:at + offset + 4] = struct.pack("<I", 1000)
        at = data.find(signature, at + 4)
open(os.path.join(work, "liar.docx"), "wb").write(data)
large = os.path.join(work, "large.docx")
if not skipLarge and not os.path.exists(large):
    paragraph = b'</w:t></w:r></w:p><w:p><w:r><w:t xml:space="preserve">cat and dog, the price of the table '
    write(large, 300_000_000, paragraph * 1000)
PY

run() {
  local label="$1"; shift
  local log="$work/$label.time"
  local status=0
  (cd "$work" && /usr/bin/time -v "$cli" "$@" >"$work/$label.out" 2>"$log") || status=$?
  local seconds rss
  seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$log")
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$log")
  printf '%-14s exit %d  %10s  peak %8.1f MB\n' "$label" "$status" "$seconds" "$(echo "$rss / 1024" | bc -l)"
  grep -h "strbatch-cli\|left out" "$log" "$work/$label.out" | head -3 | sed 's/^/    /' || true
}

ls -l "$work"/*.docx | awk '{printf "%-50s %12d bytes\n", $NF, $5}'
run bomb find -d AAAA "" bomb.docx
run liar find -d AAAA "" liar.docx
if [[ "${BENCH_SKIP_LARGE:-0}" != 1 ]]; then
  run large-find find -d price "" large.docx
  cp "$work/large.docx" "$work/large-copy.docx"
  run large-replace replace -y --no-undo -d price cost large-copy.docx
fi

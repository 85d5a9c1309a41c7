#!/usr/bin/env bash
# Times strbatch-cli replace over a batch of generated .docx files, edited
# in their XML without LibreOffice, and checks that every file holds the
# replacements afterwards.
#
#   bench/package_bench.sh [BUILD_DIR] [WORK_DIR]
#
# Corpus (generated reproducibly): 20 .docx of 200 paragraphs each, runs of
# mixed formatting, Chinese and English, a table. Definitions: 4 plain ones.
# Environment: BENCH_RUNS (default 5, the median is shown), BENCH_FILES
# (default 20). Target: the batch well under one second.
#
# A second row replaces 400,000 occurrences in one document whose text
# elements do not keep their blanks (every edited one gains xml:space):
# 51 MB of XML. Target: under 10 s; its peak memory is shown.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
cli="$build/bin/strbatch-cli"
work="${2:-$(mktemp -d "${TMPDIR:-/tmp}/strbatch-package-bench-XXXXXX")}"
runs="${BENCH_RUNS:-5}"
files="${BENCH_FILES:-20}"
[[ -x "$cli" ]] || { echo "build strbatch-cli first ($cli)"; exit 1; }
mkdir -p "$work/corpus"
export STRBATCH_TMPDIR="$work/private"
# No LibreOffice may be needed: a missing one must not matter.
export STRBATCH_SOFFICE=/nonexistent/soffice.bin

python3 - "$work/corpus" "$files" <<'PY'
import random, sys, zipfile
folder, count = sys.argv[1], int(sys.argv[2])
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
words = ["cat", "dog", "猫", "中文", "price", "价格", "table", "the", "and", "文档"]
rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/'
        '2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
        '</Relationships>')
for n in range(count):
    rnd = random.Random(n)
    body = []
    for p in range(200):
        runs = []
        for r in range(4):
            text = " ".join(rnd.choice(words) for _ in range(8)) + " "
            bold = "<w:rPr><w:b/></w:rPr>" if r % 2 else ""
            runs.append('<w:r>%s<w:t xml:space="preserve">%s</w:t></w:r>' % (bold, text))
        body.append("<w:p>%s</w:p>" % "".join(runs))
    cells = "".join("<w:tc><w:p><w:r><w:t>cat %d 中文</w:t></w:r></w:p></w:tc>" % c for c in range(3))
    body.append("<w:tbl>%s</w:tbl><w:p/>" % ("<w:tr>%s</w:tr>" % cells * 5))
    document = ('<?xml version="1.0" encoding="UTF-8"?><w:document %s><w:body>%s</w:body>'
                '</w:document>' % (W, "".join(body)))
    with zipfile.ZipFile("%s/doc%02d.docx" % (folder, n), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("[Content_Types].xml", "<Types/>")
        z.writestr("_rels/.rels", rels)
        z.writestr("word/document.xml", document)
PY

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
times=()
for ((i = 0; i < runs; i++)); do
  rm -rf "$work/run"
  cp -r "$work/corpus" "$work/run"
  start=$(date +%s.%N)
  (cd "$work/run" && "$cli" replace -y -d cat kitten -d 中文 汉语 -d price cost -d 价格 售价 \
      ./*.docx >"$work/out.txt" 2>"$work/err.txt")
  end=$(date +%s.%N)
  times+=("$(echo "$end - $start" | bc)")
done
ok=yes
for file in "$work"/run/*.docx; do
  python3 - "$file" <<'PY' || ok=no
import sys, zipfile
xml = zipfile.ZipFile(sys.argv[1]).read("word/document.xml").decode("utf-8")
sys.exit(1 if ("cat" in xml or "中文" in xml or "kitten" not in xml) else 0)
PY
done
seconds="$(printf '%s\n' "${times[@]}" | median)"
printf '%-40s %8s %8s\n' "row" "seconds" "correct"
printf '%-40s %8.3f %8s\n' "replace, $files .docx (4 definitions)" "$seconds" "$ok"
python3 - "$work/large.docx" <<'PY'
import sys, zipfile
W = 'xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"'
p = ('<w:p><w:r><w:rPr><w:b/></w:rPr><w:t>The quick brown fox jumps over the lazy cat '
     'number %d, again and again.</w:t></w:r></w:p>')
document = ('<?xml version="1.0" encoding="UTF-8"?><w:document %s><w:body>%s</w:body>'
            '</w:document>' % (W, "".join(p % i for i in range(400000))))
rels = ('<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/'
        '2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/'
        'officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>'
        '</Relationships>')
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml", "<Types/>")
    z.writestr("_rels/.rels", rels)
    z.writestr("word/document.xml", document)
PY
start=$(date +%s.%N)
/usr/bin/time -f %M -o "$work/rss.txt" "$cli" replace -y -d cat kitten "$work/large.docx" \
  >"$work/out.txt" 2>"$work/err.txt"
end=$(date +%s.%N)
large="$(echo "$end - $start" | bc)"
largeOk=no
grep -q "^400000" "$work/out.txt" && largeOk=yes
printf '%-40s %8.3f %8s   peak %d MB\n' "replace 400,000 in one 51 MB part" "$large" "$largeOk" \
  "$(($(tail -1 "$work/rss.txt") / 1024))"
if [[ $largeOk != yes ]] || (($(echo "$large >= 10" | bc))); then
  echo "target missed: the large document must be edited whole in under 10 s"
  exit 1
fi
if [[ $ok != yes ]] || (($(echo "$seconds >= 1" | bc))); then
  echo "target missed: the batch must take well under one second and edit every file"
  exit 1
fi

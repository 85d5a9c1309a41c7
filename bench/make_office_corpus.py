#!/usr/bin/python3
"""Makes the documents the office benchmark runs over, with LibreOffice.

    make_office_corpus.py DIR

DIR/cells.xls        6,000 text cells holding Chinese, each with "中文" once
DIR/paragraph.doc    one paragraph holding "cat" 6,000 times
DIR/paragraph600.doc one paragraph holding "cat" 600 times
DIR/batch/           20 small documents: 7 .doc, 7 .xls, 6 .ppt
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "office"))
from office_fixture import Office, make_calc, make_impress, make_writer  # noqa: E402


def main(directory):
    os.makedirs(os.path.join(directory, "batch"), exist_ok=True)
    p = lambda name: os.path.join(directory, name)
    words = ["猫", "狗", "中文", "文字", "测试", "表格"]
    with Office() as office:
        rows = [["第%d行 %s 中文 %s" % (r * 3 + c, words[(r + c) % 6], words[(r * c) % 6])
                 for c in range(3)] for r in range(2000)]
        make_calc(office, p("cells.xls"), "MS Excel 97", [rows])
        for count, name in ((6000, "paragraph.doc"), (600, "paragraph600.doc")):
            make_writer(office, p(name), "MS Word 97", [" ".join(["a cat"] * count)])
        for i in range(7):
            make_writer(office, p("batch/letter%d.doc" % i), "MS Word 97",
                        ["第%d封信: the cat sat on the mat." % i, "猫和狗 cat and dog " * 5,
                         "中文段落 %d cat" % i] * 10,
                        table=[["cat in a table", "中文表格"], ["", "cat"]])
            make_calc(office, p("batch/sheet%d.xls" % i), "MS Excel 97",
                      [[["cat %d 中文" % r, r, "第%d行 cat" % r, r * 2.5] for r in range(50)]])
        for i in range(6):
            make_impress(office, p("batch/slides%d.ppt" % i), "MS PowerPoint 97",
                         [["Slide %d cat" % s, "猫 cat\n中文 cat"] for s in range(5)])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

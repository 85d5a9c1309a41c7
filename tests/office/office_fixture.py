#!/usr/bin/python3
"""Makes and reads office documents with LibreOffice, for the office tests.

    office_fixture.py make DIR       writes the test documents into DIR
    office_fixture.py packages DIR   writes richer .docx/.odt/.xlsx/.ods/.pptx/.odp
    office_fixture.py dump FILE...   prints each document's text as JSON
    office_fixture.py objects DIR    writes documents with anchored objects, runs of
                                     mixed formatting and protected parts
    office_fixture.py stories DIR    writes one document of each kind with every story
                                     beyond the body, each holding a word of its own,
                                     in the zipped and the legacy formats
    office_fixture.py inspect FILE...  prints each document's portions, their bold and
                                     italic, and its objects as JSON (for a workbook,
                                     the shown text of the first sheet's cells)

One LibreOffice instance per call, with a private profile under
$STRBATCH_TMPDIR; it is ended before the script exits.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException
from com.sun.star.text.ControlCharacter import LINE_BREAK, PARAGRAPH_BREAK

SOFFICE = os.environ.get("STRBATCH_SOFFICE", "/usr/lib/libreoffice/program/soffice.bin")
RESTART_REQUESTED = 81


def props(**values):
    result = []
    for name, value in values.items():
        p = PropertyValue()
        p.Name = name
        p.Value = value
        result.append(p)
    return tuple(result)


class Office:
    def __enter__(self):
        base = os.environ.get("STRBATCH_TMPDIR") or tempfile.gettempdir()
        os.makedirs(base, exist_ok=True)
        self.profile = tempfile.mkdtemp(prefix="fixture-office-", dir=base)
        self.pipe = "strbatch-fixture-%d" % os.getpid()
        self.args = [SOFFICE, "--headless", "--invisible", "--norestore", "--nologo",
                     "--nodefault", "--nolockcheck",
                     "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile),
                     "--accept=pipe,name=%s;urp;" % self.pipe]
        self.proc = self.launch()
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.time() + 90
        while True:
            try:
                self.ctx = resolver.resolve(
                    "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                break
            except NoConnectException:
                if self.proc.poll() is not None:
                    if self.proc.returncode != RESTART_REQUESTED:
                        raise RuntimeError("soffice ended with %d" % self.proc.returncode)
                    self.proc = self.launch()
                if time.time() > deadline:
                    raise RuntimeError("soffice did not answer")
                time.sleep(0.05)
        self.desktop = self.ctx.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.ctx)
        return self

    def launch(self):
        return subprocess.Popen(self.args, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def __exit__(self, *exc):
        try:
            self.desktop.terminate()
        except Exception:
            pass
        try:
            self.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def new(self, kind):
        return self.desktop.loadComponentFromURL("private:factory/" + kind, "_blank", 0,
                                                 props(Hidden=True))

    def load(self, path):
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                                                 "_blank", 0, props(Hidden=True))

    @staticmethod
    def store(doc, path, filter_name):
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                       props(FilterName=filter_name, Overwrite=True))
        doc.close(True)


def make_writer(office, path, filter_name, paragraphs, table=None, field_paragraph=None):
    doc = office.new("swriter")
    text = doc.getText()
    cursor = text.createTextCursor()
    for i, paragraph in enumerate(paragraphs):
        if i:
            text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)
        text.insertString(cursor, paragraph, False)
    if field_paragraph:
        text.insertControlCharacter(cursor, PARAGRAPH_BREAK, False)
        before, after = field_paragraph
        text.insertString(cursor, before, False)
        field = doc.createInstance("com.sun.star.text.TextField.PageNumber")
        field.NumberingType = 4  # arabic
        field.SubType = uno.Enum("com.sun.star.text.PageNumberType", "CURRENT")
        text.insertTextContent(cursor, field, False)
        text.insertString(cursor, after, False)
    if table:
        grid = doc.createInstance("com.sun.star.text.TextTable")
        grid.initialize(len(table), len(table[0]))
        text.insertTextContent(text.getEnd(), grid, False)
        for r, row in enumerate(table):
            for c, value in enumerate(row):
                grid.getCellByPosition(c, r).setString(value)
        text.insertString(text.getEnd(), "end", False)
    office.store(doc, path, filter_name)


def make_calc(office, path, filter_name, sheets):
    doc = office.new("scalc")
    all_sheets = doc.getSheets()
    while all_sheets.getCount() < len(sheets):
        all_sheets.insertNewByName("Sheet%d" % (all_sheets.getCount() + 1),
                                   all_sheets.getCount())
    for s, rows in enumerate(sheets):
        sheet = all_sheets.getByIndex(s)
        for r, row in enumerate(rows):
            for c, value in enumerate(row):
                cell = sheet.getCellByPosition(c, r)
                if isinstance(value, (int, float)):
                    cell.setValue(value)
                elif value.startswith("="):
                    cell.setFormula(value)
                else:
                    cell.setString(value)
    office.store(doc, path, filter_name)


def make_impress(office, path, filter_name, slides):
    doc = office.new("simpress")
    pages = doc.getDrawPages()
    while pages.getCount() < len(slides):
        pages.insertNewByIndex(pages.getCount() - 1)
    for s, shapes in enumerate(slides):
        page = pages.getByIndex(s)
        while page.getCount():
            page.remove(page.getByIndex(0))
        for h, value in enumerate(shapes):
            shape = doc.createInstance("com.sun.star.drawing.RectangleShape")
            page.add(shape)
            shape.setPosition(uno.createUnoStruct("com.sun.star.awt.Point", 1000, 1000 + 3000 * h))
            shape.setSize(uno.createUnoStruct("com.sun.star.awt.Size", 12000, 2500))
            if value is not None:
                shape.setString(value)
    office.store(doc, path, filter_name)


def make(directory):
    os.makedirs(directory, exist_ok=True)
    p = lambda name: os.path.join(directory, name)
    with Office() as office:
        make_writer(office, p("letter.doc"), "MS Word 97",
                    ["猫和狗: cat and dog, cat.", "价格 100元 and 25元", "a Cat stays",
                     "split;here"],
                    table=[["cat in a table", "中文表格"], ["", "cat"]],
                    field_paragraph=("page ", " cat"))
        make_writer(office, p("second.doc"), "MS Word 97", ["another cat", "第二个文档 中文"])
        make_writer(office, p("zipped.docx"), "MS Word 2007 XML", ["a docx cat 中文"])
        make_calc(office, p("table.xls"), "MS Excel 97",
                  [[["cat", "狗"], ["a cat and a cat", "100元"], [42, "=1+1"],
                    ["\U0001F600 cat", "x;y"], ["two\nlines cat", ""]],
                   [["中文 cat"]]])
        make_impress(office, p("slides.ppt"), "MS PowerPoint 97",
                     [["Cat slide 中文", "cat\nsecond cat", None],
                      ["25元", "\U0001F600 cat;end"]])


def size(width, height):
    return uno.createUnoStruct("com.sun.star.awt.Size", width, height)


def store_both(doc, directory, name, filters):
    for extension, filter_name in filters:
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(os.path.join(directory, name + extension))),
                       props(FilterName=filter_name, Overwrite=True))
    doc.close(True)


def packages(directory):
    """One document of each kind with runs of mixed formatting, tables with
    merged cells, frames and shapes, several sheets and slides, saved in
    both zipped formats."""
    os.makedirs(directory, exist_ok=True)
    with Office() as office:
        doc = office.new("swriter")
        text = doc.getText()
        c = text.createTextCursor()
        text.insertString(c, "Hello ", False)
        c.setPropertyValue("CharWeight", 150.0)
        text.insertString(c, "bold猫", False)
        c.setPropertyValue("CharWeight", 100.0)
        text.insertString(c, " plain\tTab  two cat", False)
        text.insertControlCharacter(c, LINE_BREAK, False)
        text.insertString(c, "after break 中文", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "中文段落 with a frame cat", False)
        frame = doc.createInstance("com.sun.star.text.TextFrame")
        frame.setSize(size(4000, 2000))
        text.insertTextContent(c, frame, False)
        frame.getText().setString("inside the frame cat")
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "a shape cat ", False)
        shape = doc.createInstance("com.sun.star.drawing.RectangleShape")
        shape.setSize(size(3000, 1000))
        shape.AnchorType = uno.Enum("com.sun.star.text.TextContentAnchorType", "AS_CHARACTER")
        text.insertTextContent(c, shape, False)
        shape.setString("shape text cat")
        text.insertString(c, " end 中文", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "  leading blanks cat", False)
        grid = doc.createInstance("com.sun.star.text.TextTable")
        grid.initialize(3, 3)
        text.insertTextContent(text.getEnd(), grid, False)
        for r in range(3):
            for col in range(3):
                grid.getCellByPosition(col, r).setString("cat r%dc%d 中文" % (r, col))
        merge = grid.createCursorByCellName("A1")
        merge.goRight(1, True)
        merge.mergeRange()
        text.insertString(text.getEnd(), "page ", False)
        field = doc.createInstance("com.sun.star.text.TextField.PageNumber")
        field.NumberingType = 4
        field.SubType = uno.Enum("com.sun.star.text.PageNumberType", "CURRENT")
        text.insertTextContent(text.getEnd(), field, False)
        text.insertString(text.getEnd(), " last 段 cat", False)
        store_both(doc, directory, "words", ((".docx", "MS Word 2007 XML"), (".odt", "writer8")))

        doc = office.new("scalc")
        sheets = doc.getSheets()
        sheets.insertNewByName("Two", 1)
        sheets.insertNewByName("Empty", 2)
        s = sheets.getByIndex(0)
        s.getCellByPosition(0, 0).setString("cat 猫")
        s.getCellByPosition(1, 0).setValue(3.5)
        s.getCellByPosition(2, 0).setFormula("=B1*2")
        s.getCellByPosition(0, 1).setString("two\nlines cat")
        s.getCellByPosition(1, 2).setString("cat")
        s.getCellByPosition(2, 2).setString("cat")
        s.getCellRangeByName("A4:B4").merge(True)
        s.getCellByPosition(0, 3).setString("merged cat 中文")
        t = sheets.getByIndex(1)
        t.getCellByPosition(1, 1).setString("  spaced  cat")
        rich = t.getCellByPosition(2, 2).getText()
        rc = rich.createTextCursor()
        rich.insertString(rc, "rich ", False)
        rc.setPropertyValue("CharWeight", 150.0)
        rich.insertString(rc, "bold cat", False)
        store_both(doc, directory, "cells", ((".xlsx", "Calc MS Excel 2007 XML"), (".ods", "calc8")))

        doc = office.new("simpress")
        pages = doc.getDrawPages()
        while pages.getCount() < 2:
            pages.insertNewByIndex(pages.getCount() - 1)
        contents = [["Title cat 中文", "cat\nsecond cat", None], ["25元 cat", "cat;end"]]
        for index, shapes in enumerate(contents):
            page = pages.getByIndex(index)
            while page.getCount():
                page.remove(page.getByIndex(0))
            for h, value in enumerate(shapes):
                shape = doc.createInstance("com.sun.star.drawing.RectangleShape")
                page.add(shape)
                shape.setPosition(uno.createUnoStruct("com.sun.star.awt.Point", 1000, 1000 + 3000 * h))
                shape.setSize(size(12000, 2500))
                if value is not None:
                    shape.setString(value)
        store_both(doc, directory, "slides",
                   ((".pptx", "Impress MS PowerPoint 2007 XML"), (".odp", "impress8")))


def stories(directory):
    """Headers, footers, notes and a frame; cell comments on two
    sheets; notes on two slides. Each story's word is its own, so that a
    test can tell where the layout put it."""
    os.makedirs(directory, exist_ok=True)
    with Office() as office:
        doc = office.new("swriter")
        style = doc.getStyleFamilies().getByName("PageStyles").getByName("Standard")
        style.HeaderIsOn = True
        style.FooterIsOn = True
        style.HeaderText.setString("headcat")
        style.FooterText.setString("footcat")
        text = doc.getText()
        c = text.createTextCursor()
        text.insertString(c, "body cat", False)
        footnote = doc.createInstance("com.sun.star.text.Footnote")
        text.insertTextContent(c, footnote, False)
        footnote.setString("notecat")
        text.insertString(c, " more", False)
        endnote = doc.createInstance("com.sun.star.text.Endnote")
        text.insertTextContent(c, endnote, False)
        endnote.setString("endcat")
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        # No comment: the soffice of the tests ends when it lays one out.
        text.insertString(c, "second paragraph", False)
        frame = doc.createInstance("com.sun.star.text.TextFrame")
        frame.setSize(size(4000, 2000))
        text.insertTextContent(text.getEnd(), frame, False)
        frame.getText().setString("framecat")
        store_both(doc, directory, "stories", ((".docx", "MS Word 2007 XML"), (".odt", "writer8"),
                                               (".doc", "MS Word 97")))

        doc = office.new("scalc")
        sheets = doc.getSheets()
        sheets.getByIndex(0).setName("sheetcat")
        sheets.insertNewByName("Other", 1)
        address = lambda col, row: uno.createUnoStruct("com.sun.star.table.CellAddress", 0, col, row)
        first = sheets.getByIndex(0)
        first.getCellByPosition(0, 0).setString("cell")
        # Made out of order: the layout puts them by row, then column.
        first.getAnnotations().insertNew(address(0, 2), "lowcat")
        first.getAnnotations().insertNew(address(1, 0), "highcat")
        second = sheets.getByIndex(1)
        second.getCellByPosition(0, 0).setString("other")
        second.Annotations.insertNew(uno.createUnoStruct("com.sun.star.table.CellAddress", 1, 0, 0),
                                     "othercat")
        store_both(doc, directory, "stories", ((".xlsx", "Calc MS Excel 2007 XML"), (".ods", "calc8"),
                                               (".xls", "MS Excel 97")))

        doc = office.new("simpress")
        pages = doc.getDrawPages()
        while pages.getCount() < 2:
            pages.insertNewByIndex(pages.getCount() - 1)
        for index, word in enumerate(("firstnotecat", "secondnotecat")):
            page = pages.getByIndex(index)
            while page.getCount():
                page.remove(page.getByIndex(0))
            shape = doc.createInstance("com.sun.star.drawing.RectangleShape")
            page.add(shape)
            shape.setPosition(uno.createUnoStruct("com.sun.star.awt.Point", 1000, 1000))
            shape.setSize(size(12000, 2500))
            shape.setString("slide %d cat" % (index + 1))
            notes = page.getNotesPage()
            placeholder = None
            for i in range(notes.getCount()):
                if notes.getByIndex(i).getShapeType() == "com.sun.star.presentation.NotesShape":
                    placeholder = notes.getByIndex(i)
            if placeholder is None:
                placeholder = doc.createInstance("com.sun.star.presentation.NotesShape")
                notes.add(placeholder)
            placeholder.setString(word)
        store_both(doc, directory, "stories",
                   ((".pptx", "Impress MS PowerPoint 2007 XML"), (".odp", "impress8"),
                    (".ppt", "MS PowerPoint 97")))


def dump_writer(doc):
    lines = []

    def walk(text):
        enumeration = text.createEnumeration()
        while enumeration.hasMoreElements():
            element = enumeration.nextElement()
            if element.supportsService("com.sun.star.text.TextTable"):
                for name in element.getCellNames():
                    walk(element.getCellByName(name).getText())
            else:
                lines.append(element.getString())

    walk(doc.getText())
    return lines


def dump_calc(doc):
    sheets = []
    for s in range(doc.getSheets().getCount()):
        sheet = doc.getSheets().getByIndex(s)
        cursor = sheet.createCursor()
        cursor.gotoStartOfUsedArea(False)
        cursor.gotoEndOfUsedArea(True)
        area = cursor.getRangeAddress()
        rows = []
        for r in range(area.StartRow, area.EndRow + 1):
            row = []
            for c in range(area.StartColumn, area.EndColumn + 1):
                cell = sheet.getCellByPosition(c, r)
                text_cell = cell.getType().value in ("TEXT", "EMPTY")
                row.append(cell.getString() if text_cell else cell.getFormula())
            rows.append(row)
        sheets.append(rows)
    return sheets


def dump_impress(doc):
    slides = []
    pages = doc.getDrawPages()
    for s in range(pages.getCount()):
        page = pages.getByIndex(s)
        slides.append([page.getByIndex(h).getString() for h in range(page.getCount())])
    return slides


def print_each(paths, writer, calc, impress):
    """Prints, as JSON by file name, what the reader of its kind gives for
    each document (null for a file that does not load)."""
    result = {}
    with Office() as office:
        for path in paths:
            doc = office.load(path)
            if doc is None:
                result[os.path.basename(path)] = None
                continue
            if doc.supportsService("com.sun.star.text.TextDocument"):
                result[os.path.basename(path)] = writer(doc)
            elif doc.supportsService("com.sun.star.sheet.SpreadsheetDocument"):
                result[os.path.basename(path)] = calc(doc)
            else:
                result[os.path.basename(path)] = impress(doc)
            doc.close(True)
    json.dump(result, sys.stdout, ensure_ascii=False, sort_keys=True)


def dump(paths):
    def read(text_of):
        return lambda doc: {"filter": [a.Value for a in doc.getArgs()
                                       if a.Name == "FilterName"][0],
                            "text": text_of(doc)}
    print_each(paths, read(dump_writer), read(dump_calc), read(dump_impress))


def tiny_png(path):
    """A 2x2 red PNG."""
    import struct
    import zlib

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + b"\xff\x00\x00" * 2 for _ in range(2))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 2, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def at_character(content):
    content.AnchorType = uno.Enum("com.sun.star.text.TextContentAnchorType", "AT_CHARACTER")


def set_format(cursor, bold, italic):
    cursor.setPropertyValue("CharWeight", 150.0 if bold else 100.0)
    cursor.setPropertyValue("CharPosture", uno.Enum("com.sun.star.awt.FontSlant",
                                                    "ITALIC" if italic else "NONE"))


def insert_runs(text, cursor, runs):
    """Inserts (string, bold, italic) runs at the cursor."""
    for string, bold, italic in runs:
        set_format(cursor, bold, italic)
        text.insertString(cursor, string, False)
    set_format(cursor, False, False)


FORMAT_RUNS = [("ca", True, False), ("t", False, True), (" and d", False, False),
               ("o ca", False, False), ("t", True, False)]


def objects(directory):
    """anchors.*: objects anchored inside and beside the text an occurrence
    covers; formats.*: runs of mixed formatting in a paragraph, a cell and a
    shape; protected.*: a protected section and a protected sheet; password.*:
    a text and a workbook encrypted with a password."""
    os.makedirs(directory, exist_ok=True)
    p = lambda name: os.path.join(directory, name)
    png = p("tiny.png")
    tiny_png(png)
    with Office() as office:
        doc = office.new("swriter")
        text = doc.getText()
        c = text.createTextCursor()
        text.insertString(c, "See the chart", False)
        frame = doc.createInstance("com.sun.star.text.TextFrame")
        frame.setSize(size(3000, 1500))
        at_character(frame)
        text.insertTextContent(c, frame, False)
        frame.getText().setString("in the frame")
        text.insertString(c, " below cat", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "ca", False)
        box = doc.createInstance("com.sun.star.drawing.RectangleShape")
        box.setSize(size(3000, 1000))
        at_character(box)
        text.insertTextContent(c, box, False)
        box.setString("text box")
        text.insertString(c, "t and dog", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "a picture", False)
        image = doc.createInstance("com.sun.star.text.TextGraphicObject")
        image.GraphicURL = uno.systemPathToFileUrl(os.path.abspath(png))
        image.setSize(size(1000, 1000))
        at_character(image)
        text.insertTextContent(c, image, False)
        text.insertString(c, " here", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "a bookmark", False)
        mark = doc.createInstance("com.sun.star.text.Bookmark")
        mark.setName("place")
        text.insertTextContent(c, mark, False)
        text.insertString(c, " there", False)
        text.insertControlCharacter(c, PARAGRAPH_BREAK, False)
        text.insertString(c, "a note", False)
        note = doc.createInstance("com.sun.star.text.Footnote")
        text.insertTextContent(c, note, False)
        note.setString("the note")
        text.insertString(c, " text, page ", False)
        field = doc.createInstance("com.sun.star.text.TextField.PageNumber")
        field.NumberingType = 4
        field.SubType = uno.Enum("com.sun.star.text.PageNumberType", "CURRENT")
        text.insertTextContent(c, field, False)
        text.insertString(c, " end", False)
        store_both(doc, directory, "anchors", ((".doc", "MS Word 97"), (".odt", "writer8"),
                                               (".docx", "MS Word 2007 XML")))

        doc = office.new("swriter")
        text = doc.getText()
        insert_runs(text, text.createTextCursor(), FORMAT_RUNS)
        store_both(doc, directory, "formats", ((".doc", "MS Word 97"),))
        doc = office.new("scalc")
        cell = doc.getSheets().getByIndex(0).getCellByPosition(0, 0).getText()
        insert_runs(cell, cell.createTextCursor(), FORMAT_RUNS)
        store_both(doc, directory, "formats", ((".xls", "MS Excel 97"),))
        # Numbers as their formats show them: whole and other numbers in the
        # general format, and in other formats beside them.
        doc = office.new("scalc")
        sheet = doc.getSheets().getByIndex(0)
        general = [1234567, -5, 0, 0.5, 1e15 - 1, 1e15, 1e20, 1 / 3, -0.25, 42]
        for r, value in enumerate(general):
            sheet.getCellByPosition(0, r).setValue(value)
        keys = doc.getNumberFormats()
        locale = uno.createUnoStruct("com.sun.star.lang.Locale")
        for r, (value, code) in enumerate([(0.25, "0%"), (1234567, "#,##0"), (45000, "YYYY-MM-DD"),
                                           (3, "0.00"), (7, "General"), (12, "0")]):
            cell = sheet.getCellByPosition(1, r)
            cell.setValue(value)
            key = keys.queryKey(code, locale, False)
            cell.NumberFormat = key if key >= 0 else keys.addNew(code, locale)
        store_both(doc, directory, "numbers", ((".xls", "MS Excel 97"),))
        doc = office.new("simpress")
        page = doc.getDrawPages().getByIndex(0)
        while page.getCount():
            page.remove(page.getByIndex(0))
        shape = doc.createInstance("com.sun.star.drawing.RectangleShape")
        page.add(shape)
        shape.setSize(size(12000, 2500))
        insert_runs(shape.getText(), shape.getText().createTextCursor(), FORMAT_RUNS)
        store_both(doc, directory, "formats", ((".ppt", "MS PowerPoint 97"),))

        doc = office.new("swriter")
        text = doc.getText()
        text.insertString(text.getEnd(), "open cat", False)
        text.insertControlCharacter(text.getEnd(), PARAGRAPH_BREAK, False)
        section = doc.createInstance("com.sun.star.text.TextSection")
        section.IsProtected = True
        text.insertTextContent(text.getEnd(), section, False)
        section.getAnchor().setString("locked cat")
        text.insertString(text.getEnd(), "open cat again", False)
        store_both(doc, directory, "protected", ((".doc", "MS Word 97"), (".odt", "writer8")))
        doc = office.new("scalc")
        sheets = doc.getSheets()
        sheets.insertNewByName("Locked", 1)
        sheets.getByIndex(0).getCellByPosition(0, 0).setString("open cat")
        locked = sheets.getByIndex(1)
        locked.getCellByPosition(0, 0).setString("locked cat")
        free = locked.getCellByPosition(1, 0)
        free.setString("free cat")
        protection = free.CellProtection
        protection.IsLocked = False
        free.CellProtection = protection
        locked.protect("")
        store_both(doc, directory, "protected", ((".xls", "MS Excel 97"), (".ods", "calc8")))

        # password.*: whole documents that open only with a password.
        for factory, extension, filter_name in (("swriter", ".doc", "MS Word 97"),
                                                ("scalc", ".xls", "MS Excel 97")):
            doc = office.new(factory)
            if factory == "swriter":
                doc.getText().setString("secret cat")
            else:
                doc.getSheets().getByIndex(0).getCellByPosition(0, 0).setString("secret cat")
            doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(p("password" + extension))),
                           props(FilterName=filter_name, Overwrite=True, Password="pw"))
            doc.close(True)

        # emptied.*: a text that is all one word, with an object anchored at
        # its start: the whole body, and a table cell.
        for name, in_cell in (("emptied", False), ("emptied-cell", True)):
            doc = office.new("swriter")
            text = doc.getText()
            if in_cell:
                table = doc.createInstance("com.sun.star.text.TextTable")
                table.initialize(1, 1)
                text.insertTextContent(text.getEnd(), table, False)
                text = table.getCellByName("A1")
            image = doc.createInstance("com.sun.star.text.TextGraphicObject")
            image.GraphicURL = uno.systemPathToFileUrl(os.path.abspath(png))
            image.setSize(size(1000, 1000))
            at_character(image)
            text.insertTextContent(text.getStart(), image, False)
            text.insertString(text.getEnd(), "lone", False)
            store_both(doc, directory, name, ((".doc", "MS Word 97"),))


def runs_of(paragraphs, objects_too):
    """Each paragraph's portions: [text, bold, italic], or "[Type]" for a
    portion other than text."""
    result = []
    while paragraphs.hasMoreElements():
        paragraph = paragraphs.nextElement()
        if not paragraph.supportsService("com.sun.star.text.Paragraph") and objects_too:
            continue
        runs = []
        portions = paragraph.createEnumeration()
        while portions.hasMoreElements():
            portion = portions.nextElement()
            kind = portion.TextPortionType
            if kind == "Text":
                if portion.getString():
                    runs.append([portion.getString(), portion.CharWeight > 100,
                                 portion.CharPosture.value != "NONE"])
            elif kind != "SoftPageBreak":
                runs.append("[%s]" % kind)
        result.append(runs)
    return result


def inspect(paths):
    def writer(doc):
        return {"paragraphs": runs_of(doc.getText().createEnumeration(), True),
                "objects": {"shapes": doc.getDrawPage().getCount(),
                            "frames": doc.getTextFrames().getCount(),
                            "images": doc.getGraphicObjects().getCount(),
                            "bookmarks": doc.getBookmarks().getCount(),
                            "notes": doc.getFootnotes().getCount()}}

    def calc(doc):
        sheet = doc.getSheets().getByIndex(0)
        cell = sheet.getCellByPosition(0, 0)
        cursor = sheet.createCursor()
        cursor.gotoStartOfUsedArea(False)
        cursor.gotoEndOfUsedArea(True)
        area = cursor.getRangeAddress()
        shown = [sheet.getCellByPosition(c, r).getString()
                 for r in range(area.StartRow, area.EndRow + 1)
                 for c in range(area.StartColumn, area.EndColumn + 1)]
        return {"paragraphs": runs_of(cell.getText().createEnumeration(), False),
                "shown": [text for text in shown if text]}

    def impress(doc):
        shape = doc.getDrawPages().getByIndex(0).getByIndex(0)
        return {"paragraphs": runs_of(shape.getText().createEnumeration(), False)}
    print_each(paths, writer, calc, impress)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "packages":
        packages(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "dump":
        dump(sys.argv[2:])
    elif len(sys.argv) >= 3 and sys.argv[1] == "objects":
        objects(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "stories":
        stories(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == "inspect":
        inspect(sys.argv[2:])
    else:
        sys.exit(__doc__)

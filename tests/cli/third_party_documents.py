#!/usr/bin/python3
"""Office documents as other programs than LibreOffice write them, for the
tests of every story of a document:

    third_party_documents.py make DIR    writes the documents into DIR
    third_party_documents.py read PATH   prints, one per line, the texts the
                                         library that wrote PATH reads in it

Each story holds "cat" a known number of times (see office_parts_test.cc).
"""
import sys

import docx
import openpyxl
from openpyxl.comments import Comment
from odf import opendocument, style, table, text, office, draw


def make_docx(path):
    document = docx.Document()
    document.add_paragraph("A cat in the body, and one more cat.")
    cells = document.add_table(rows=1, cols=2)
    cells.cell(0, 0).text = "cat in a cell"
    cells.cell(0, 1).text = "dog"
    section = document.sections[0]
    section.header.paragraphs[0].text = "cat header"
    section.footer.paragraphs[0].text = "cat footer, cat again"
    section.different_first_page_header_footer = True
    section.first_page_header.paragraphs[0].text = "first-page cat"
    document.save(path)


def make_xlsx(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "cat list"
    sheet["A1"] = "cat"
    sheet["B2"] = "a cat and a cat"
    sheet["A1"].comment = Comment("this cat is noted", "someone")
    other = book.create_sheet("dogs")
    other["C3"] = "dog"
    other["C3"].comment = Comment("no cat here? one cat", "someone")
    book.save(path)


def make_odt(path):
    document = opendocument.OpenDocumentText()
    layout = style.PageLayout(name="pm1")
    document.automaticstyles.addElement(layout)
    master = style.MasterPage(name="Standard", pagelayoutname=layout)
    header = style.Header()
    header.addElement(text.P(text="cat at the top"))
    master.addElement(header)
    footer = style.Footer()
    footer.addElement(text.P(text="cat at the foot"))
    master.addElement(footer)
    document.masterstyles.addElement(master)
    body = text.P(text="A cat with a note")
    note = text.Note(id="ftn1", noteclass="footnote")
    note.addElement(text.NoteCitation(text="1"))
    noteBody = text.NoteBody()
    noteBody.addElement(text.P(text="the note's cat"))
    note.addElement(noteBody)
    body.addElement(note)
    body.addText(" and a comment")
    comment = office.Annotation()
    comment.addElement(text.P(text="a comment's cat"))
    body.addElement(comment)
    document.text.addElement(body)
    document.save(path)


def make_ods(path):
    document = opendocument.OpenDocumentSpreadsheet()
    sheet = table.Table(name="cat sheet")
    row = table.TableRow()
    cell = table.TableCell(valuetype="string")
    cell.addElement(text.P(text="cat"))
    comment = office.Annotation()
    comment.addElement(text.P(text="cat comment"))
    cell.addElement(comment)
    row.addElement(cell)
    sheet.addElement(row)
    document.spreadsheet.addElement(sheet)
    document.save(path)


def read(path):
    if path.endswith(".docx"):
        document = docx.Document(path)
        for paragraph in document.paragraphs:
            print(paragraph.text)
        for section in document.sections:
            for part in (section.header, section.footer, section.first_page_header):
                for paragraph in part.paragraphs:
                    print(paragraph.text)
    elif path.endswith(".xlsx"):
        book = openpyxl.load_workbook(path)
        for sheet in book.worksheets:
            print(sheet.title)
            for row in sheet.iter_rows():
                for cell in row:
                    if cell.value is not None:
                        print(cell.value)
                    if cell.comment is not None:
                        print(cell.comment.text)
    else:
        document = opendocument.load(path)
        for paragraph in document.getElementsByType(text.P):
            print(str(paragraph))
        for sheet in document.getElementsByType(table.Table):
            print(sheet.getAttribute("name"))


def main():
    if sys.argv[1] == "make":
        directory = sys.argv[2]
        make_docx(directory + "/letter.docx")
        make_xlsx(directory + "/book.xlsx")
        make_odt(directory + "/text.odt")
        make_ods(directory + "/book.ods")
    else:
        read(sys.argv[2])


if __name__ == "__main__":
    main()

// The zipped formats edited in their XML, on small packages made here: the
// edits that need more than a text node's characters, what is counted and
// left (protection, objects), and the entries an edit does not touch.
#include "office/package/package_document.h"

#include <zip.h>

#include <gtest/gtest.h>

#include "base/paths.h"
#include "office/package/zip_package.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::Entry;
using testing::ScratchDir;
using testing::WriteZip;

const char kRels[] =
    "<?xml version=\"1.0\"?><Relationships "
    "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"%s\"/></Relationships>";

std::string Rels(const std::string& target) {
  std::string rels = kRels;
  rels.replace(rels.find("%s"), 2, target);
  return rels;
}

std::string Docx(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
         "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
         "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\">"
         "<w:body>" +
         body + "</w:body></w:document>";
}

std::string Odt(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
         "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\"><office:body>"
         "<office:text>" +
         body + "</office:text></office:body></office:document-content>";
}

std::string Pptx(const std::string& shapes) {
  return "<?xml version=\"1.0\"?><p:sld "
         "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><p:cSld><p:spTree>"
         "<p:nvGrpSpPr/>" +
         shapes + "</p:spTree></p:cSld></p:sld>";
}

class PackageDocumentTest : public ::testing::Test {
 protected:
  std::string WriteDocx(const std::string& name, const std::string& body,
                        const std::string& settings = "") {
    std::vector<Entry> entries = {
        {"[Content_Types].xml", "<Types/>"},
        {"_rels/.rels", Rels("word/document.xml")},
        {"word/document.xml", Docx(body)},
        {"word/media/image1.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), true},
        {"docProps/app.xml", std::string(300, 'x')},
    };
    if (!settings.empty()) {
      entries.push_back({"word/_rels/document.xml.rels",
                         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                         "relationships\"><Relationship Id=\"rId9\" Type=\"http://"
                         "schemas.openxmlformats.org/officeDocument/2006/relationships/settings\" "
                         "Target=\"settings.xml\"/></Relationships>"});
      entries.push_back({"word/settings.xml",
                         "<w:settings xmlns:w=\"http://schemas.openxmlformats.org/"
                         "wordprocessingml/2006/main\">" +
                             settings + "</w:settings>"});
    }
    const std::string path = dir_.File(name);
    WriteZip(path, entries);
    return path;
  }
  std::string WriteOdt(const std::string& name, const std::string& body) {
    const std::string path = dir_.File(name);
    WriteZip(path, {{"mimetype", "application/vnd.oasis.opendocument.text", true},
                    {"content.xml", Odt(body)},
                    {"META-INF/manifest.xml", "<manifest/>"}});
    return path;
  }
  std::string WritePptx(const std::string& name, const std::string& shapes) {
    const std::string path = dir_.File(name);
    WriteZip(path,
             {{"_rels/.rels", Rels("ppt/presentation.xml")},
              {"ppt/presentation.xml",
               "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/"
               "main\" xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/"
               "relationships\"><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst>"
               "</p:presentation>"},
              {"ppt/_rels/presentation.xml.rels",
               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
               "relationships\"><Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats."
               "org/officeDocument/2006/relationships/slide\" Target=\"slides/slide1.xml\"/>"
               "</Relationships>"},
              {"ppt/slides/slide1.xml", Pptx(shapes)}});
    return path;
  }

  std::string WriteXlsx(const std::string& name, const std::string& strings,
                        const std::vector<std::string>& sheets) {
    const std::string path = dir_.File(name);
    WriteZip(path, testing::Workbook(strings, sheets));
    return path;
  }

  std::unique_ptr<OfficeDocument> Open(const std::string& path, Message* whyNot = nullptr,
                                       OfficeParts parts = OfficeParts::kBody) {
    Message reason;
    bool notPackage = false;
    std::unique_ptr<OfficeDocument> document =
        OpenPackageDocument(path, CodePage::Utf8(), DefaultFileRewriter(),
                            whyNot ? whyNot : &reason, &notPackage, {}, parts);
    EXPECT_FALSE(notPackage);
    return document;
  }

  // Replaces find in the document at path, saves it, and gives the text it
  // then reads as (opened anew).
  std::string Replace(const std::string& path, const std::string& find, const std::string& replace,
                      NotApplied* leftovers = nullptr, OfficeParts parts = OfficeParts::kBody) {
    std::unique_ptr<OfficeDocument> document = Open(path, nullptr, parts);
    if (!document) return "(not opened)";
    testing::ReplaceAll(*document, find, replace);
    if (leftovers) *leftovers = document->Leftovers();
    document->Close(true);
    std::unique_ptr<OfficeDocument> again = Open(path, nullptr, parts);
    return again ? again->WriteText() : "(not read again)";
  }

  ScratchDir dir_;
};

std::string Part(const std::string& path, const std::string& name) {
  std::string content;
  Message error;
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(path), &error);
  if (!zip || !zip->Read(name, &content, &error)) return "(" + testing::EnglishReason(error) + ")";
  return content;
}

// Each row: a Word body, the find and replacement, and what the document
// reads as afterwards (then the edited part must hold `holds`).
TEST_F(PackageDocumentTest, WordEditsBeyondOneTextNode) {
  const std::string bold = "<w:r><w:rPr><w:b/></w:rPr><w:t>Hel</w:t></w:r><w:r><w:t>lo</w:t></w:r>";
  const struct {
    const char* body;
    const char* find;
    const char* replace;
    const char* text;
    const char* holds;
  } rows[] = {
      // The replacement takes the first character's run; the rest of the
      // occurrence leaves the runs after it.
      {"", "ello", "i", "Hi\r", "<w:b/></w:rPr><w:t xml:space=\"preserve\">Hi</w:t>"},
      {"", "Hello", "  x ", "  x \r", "<w:t xml:space=\"preserve\">  x </w:t>"},
      {"", "el", "a\tb", "Ha\tblo\r", "<w:tab/>"},
      {"", "el", "a\vb", "Ha\vblo\r", "<w:br/>"},
      {"", "el", "a\rb", "Ha\rblo\r", "</w:r></w:p><w:p><w:r><w:rPr><w:b/></w:rPr>"},
      {"", "l", "\xE4\xB8\xAD&<", "He\xE4\xB8\xAD&<\xE4\xB8\xAD&<o\r", "&amp;&lt;"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.replace);
    const std::string path = WriteDocx("a.docx", "<w:p>" + bold + "</w:p>");
    NotApplied left;
    EXPECT_EQ(Replace(path, row.find, row.replace, &left), row.text);
    EXPECT_EQ(left.Total(), 0u);
    EXPECT_NE(Part(path, "word/document.xml").find(row.holds), std::string::npos)
        << Part(path, "word/document.xml");
  }
}

TEST_F(PackageDocumentTest, ABreakThatCannotBeMadeInPlaceIsCountedAndLeft) {
  // A paragraph break inside a link would need the link split.
  const std::string path = WriteDocx(
      "link.docx", "<w:p><w:hyperlink><w:r><w:t>a cat</w:t></w:r></w:hyperlink></w:p>");
  NotApplied left;
  EXPECT_EQ(Replace(path, "cat", "c\ra\rt", &left), "a cat\r");
  EXPECT_EQ(left.Of(NotAppliedReason::kNotInPlace), 1u);
}

TEST_F(PackageDocumentTest, OpenDocumentBlanksAndBreaks) {
  const struct {
    const char* body;
    const char* find;
    const char* replace;
    const char* text;
  } rows[] = {
      {"<text:p>a b</text:p>", "b", "  b", "a   b\r"},
      {"<text:p>a <text:span>x</text:span> b</text:p>", "x", "", "a  b\r"},
      {"<text:p>a<text:s text:c=\"3\"/>b</text:p>", " ", "-", "a---b\r"},
      {"<text:p>  lead</text:p>", "lead", " x", " x\r"},
      {"<text:p><text:s/>lead</text:p>", " lead", "lead ", "lead \r"},
      {"<text:p>x\n   y</text:p>", "x y", "x\ty", "x\ty\r"},
      {"<text:p><text:span>ab</text:span></text:p>", "b", "\rc", "a\rc\r"},
      {"<text:p>a</text:p><text:p>b</text:p>", "a", "a\vz", "a\vz\rb\r"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.body);
    const std::string path = WriteOdt("a.odt", row.body);
    NotApplied left;
    EXPECT_EQ(Replace(path, row.find, row.replace, &left), row.text);
    EXPECT_EQ(left.Total(), 0u);
  }
}

TEST_F(PackageDocumentTest, PresentationBreaksAndJoins) {
  const std::string shape =
      "<p:sp><p:txBody><a:p><a:pPr algn=\"ctr\"/><a:r><a:rPr b=\"1\"/><a:t>one cat</a:t></a:r>"
      "<a:endParaRPr/></a:p><a:p><a:pPr algn=\"r\"/><a:r><a:t>two</a:t></a:r></a:p>"
      "</p:txBody></p:sp><p:pic/>";
  const struct {
    const char* find;
    const char* replace;
    const char* text;
  } rows[] = {
      {"cat", "c\vat", "one c\vat two\n\n\r"},
      {"cat", "c\nat", "one c at two\n\n\r"},
      {"cat two", "dog", "one dog\n\n\r"},
      {"one", "1\t", "1\t cat two\n\n\r"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.replace);
    const std::string path = WritePptx("a.pptx", shape);
    NotApplied left;
    EXPECT_EQ(Replace(path, row.find, row.replace, &left), row.text);
    EXPECT_EQ(left.Total(), 0u);
  }
}

TEST_F(PackageDocumentTest, UntouchedEntriesKeepTheirStoredBytes) {
  const std::string docx = WriteDocx("a.docx", "<w:p><w:r><w:t>a cat</w:t></w:r></w:p>");
  const std::string odt = WriteOdt("a.odt", "<text:p>a cat</text:p>");
  for (const std::string& path : {docx, odt}) {
    SCOPED_TRACE(path);
    const std::string before = testing::ReadBytes(path);
    Replace(path, "cat", "dog");
    int error = 0;
    zip_t* a = zip_open_from_source(
        zip_source_buffer_create(before.data(), before.size(), 0, nullptr), ZIP_RDONLY, nullptr);
    zip_t* b = zip_open(path.c_str(), ZIP_RDONLY, &error);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(zip_get_num_entries(a, 0), zip_get_num_entries(b, 0));
    for (zip_int64_t i = 0; i < zip_get_num_entries(a, 0); i++) {
      const zip_uint64_t index = static_cast<zip_uint64_t>(i);
      const std::string name = zip_get_name(a, index, 0);
      EXPECT_EQ(name, zip_get_name(b, index, 0));
      if (name == "word/document.xml" || name == "content.xml") continue;
      zip_stat_t x, y;
      zip_stat_index(a, index, 0, &x);
      zip_stat_index(b, index, 0, &y);
      EXPECT_EQ(x.comp_method, y.comp_method) << name;
      EXPECT_EQ(x.crc, y.crc) << name;
      ASSERT_EQ(x.comp_size, y.comp_size) << name;
      std::string raw[2];
      zip_t* both[2] = {a, b};
      for (int k = 0; k < 2; k++) {
        raw[k].resize(x.comp_size);
        zip_file_t* file = zip_fopen_index(both[k], index, ZIP_FL_COMPRESSED);
        zip_fread(file, raw[k].data(), x.comp_size);
        zip_fclose(file);
      }
      EXPECT_TRUE(raw[0] == raw[1]) << name;
    }
    zip_discard(a);
    zip_discard(b);
  }
  // The OpenDocument mimetype stays first and stored.
  Message error;
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(odt), &error);
  ASSERT_TRUE(zip);
  EXPECT_EQ(zip->Names().front(), "mimetype");
  EXPECT_EQ(zip->Method("mimetype"), ZIP_CM_STORE);
}

TEST_F(PackageDocumentTest, ProtectedPartsAreCountedAndLeft) {
  // A protected sheet: its locked cells stay, an unlocked one and another
  // sheet change; the cells edited alike share one new string.
  const std::string path = WriteXlsx(
      "book.xlsx",
      "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" "
      "uniqueCount=\"1\"><si><t>a cat</t></si></sst>",
      {"<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\" t=\"s\">"
       "<v>0</v></c><c r=\"C1\"><v>2.5</v></c></row></sheetData><sheetProtection sheet=\"1\"/>",
       "<sheetData><row r=\"2\"><c r=\"B2\" t=\"s\"><v>0</v></c></row></sheetData>"});
  NotApplied left;
  EXPECT_EQ(Replace(path, "cat", "dog", &left), "a cat\ta dog\t2.5\t\n\ra dog\t\n\r");
  EXPECT_EQ(left.Of(NotAppliedReason::kProtected), 1u);
  EXPECT_EQ(left.Total(), 1u);
  EXPECT_NE(Part(path, "xl/sharedStrings.xml").find("uniqueCount=\"2\""), std::string::npos);
  NotApplied shown;
  Replace(path, "2.5", "3", &shown);
  EXPECT_EQ(shown.Of(NotAppliedReason::kFormulaResult), 1u);

  // A document under write protection, a protected section.
  const std::string locked = WriteDocx("locked.docx", "<w:p><w:r><w:t>cat</w:t></w:r></w:p>",
                                       "<w:documentProtection w:edit=\"readOnly\" w:enforcement=\"1\"/>");
  const std::string bytes = testing::ReadBytes(locked);
  EXPECT_EQ(Replace(locked, "cat", "dog", &left), "cat\r");
  EXPECT_EQ(left.Of(NotAppliedReason::kProtected), 1u);
  EXPECT_TRUE(testing::ReadBytes(locked) == bytes);
  const std::string section = WriteOdt(
      "section.odt",
      "<text:section text:name=\"S\" text:protected=\"true\"><text:p>cat</text:p></text:section>"
      "<text:p>cat</text:p>");
  EXPECT_EQ(Replace(section, "cat", "dog", &left), "cat\rdog\r");
  EXPECT_EQ(left.Of(NotAppliedReason::kProtected), 1u);
}

// Replaces the occurrences of find in the document's work text in order,
// each with its own replacement (null: located and left).
void ReplaceEach(OfficeDocument& document, const std::string& find,
                 const std::vector<const char*>& replacements) {
  const std::string text = document.WriteText();
  document.BeginOccurrences(text);
  size_t at = 0;
  for (const char* replacement : replacements) {
    at = text.find(find, at);
    ASSERT_NE(at, std::string::npos) << find;
    document.LocateOccurrence(static_cast<int64_t>(at), static_cast<int64_t>(find.size()));
    if (replacement) document.EditOccurrence(replacement);
    at += find.size();
  }
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) count++;
  return count;
}

// A shared string is edited where it stands when all its cells, on every
// sheet, get the same text; otherwise the cells edited point at new strings
// and a string no cell uses any more is blanked. Either way the replaced
// text stays nowhere but in cells that keep it, no index moves, and the
// sheets whose cells keep their strings keep their bytes.
TEST_F(PackageDocumentTest, SharedStringsKeepNoReplacedText) {
  const std::string sst = "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" ";
  const std::string twoSheets[] = {
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c>"
      "</row></sheetData>",
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row><row r=\"2\"><c r=\"A2\" "
      "t=\"s\"><v>0</v></c></row></sheetData>",
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>1</v></c></row></sheetData>"};
  const std::string plain = sst + "count=\"4\" uniqueCount=\"2\"><si><t>shared cat</t></si>"
                                  "<si><t>other</t></si></sst>";
  const struct {
    const char* name;
    std::string strings;              // sharedStrings.xml
    std::vector<std::string> sheets;
    const char* find;
    std::vector<const char*> replacements;  // per occurrence; null: left
    const char* text;                 // the workbook read again
    const char* counts;               // the <sst> attributes afterwards
    const char* gone;                 // found in the package only oldLeft times
    size_t oldLeft;
    std::vector<bool> sheetKept;
    const char* holds;                // sharedStrings.xml afterwards
  } kRows[] = {
      {"every cell on two sheets", plain, {twoSheets[0], twoSheets[1], twoSheets[2]}, "shared cat",
       {"shared dog", "shared dog", "shared dog"},
       "shared dog\tother\t\n\rshared dog\t\nshared dog\t\n\rother\t\n\r",
       "count=\"4\" uniqueCount=\"2\"", "cat", 0, {true, true, true},
       "<si><t xml:space=\"preserve\">shared dog</t></si><si><t>other</t></si></sst>"},
      {"some cells", plain, {twoSheets[0], twoSheets[1], twoSheets[2]}, "shared cat",
       {nullptr, "shared dog", nullptr},
       "shared cat\tother\t\n\rshared dog\t\nshared cat\t\n\rother\t\n\r",
       "count=\"4\" uniqueCount=\"3\"", "shared cat", 1, {true, false, true},
       "<si><t>shared cat</t></si><si><t>other</t></si><si><t xml:space=\"preserve\">shared dog</t></si></sst>"},
      {"every cell, not alike, the strings' names prefixed",
       "<x:sst xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" "
       "uniqueCount=\"1\"><x:si><x:t>shared cat</x:t></x:si></x:sst>",
       {"<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>0</v></c>"
        "</row></sheetData>",
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>",
        "<sheetData><row r=\"1\"><c r=\"A1\"><v>7</v></c></row></sheetData>"},
       "cat", {"dog", "bird", "dog"}, "shared dog\tshared bird\t\n\rshared dog\t\n\r7\t\n\r",
       "count=\"3\" uniqueCount=\"3\"", "cat", 0, {false, false, true},
       "<x:si><x:t/></x:si><x:si><x:t xml:space=\"preserve\">shared dog</x:t></x:si><x:si>"
       "<x:t xml:space=\"preserve\">shared bird</x:t></x:si></x:sst>"},
      {"a locked cell beside an unlocked one", plain,
       {"<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\" t=\"s\">"
        "<v>0</v></c></row></sheetData><sheetProtection sheet=\"1\"/>",
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>",
        twoSheets[2]},
       "cat", {"dog", "dog", "dog"}, "shared cat\tshared dog\t\n\rshared dog\t\n\rother\t\n\r",
       "count=\"4\" uniqueCount=\"3\"", "cat", 1, {false, false, true},
       "<si><t>shared cat</t></si><si><t>other</t></si><si><t xml:space=\"preserve\">shared dog</t></si></sst>"},
      {"rich text, every cell",
       sst + "count=\"2\" uniqueCount=\"1\"><si><r><rPr><b/></rPr><t xml:space=\"preserve\">"
             "secret </t></r><r><t>cat</t></r></si></sst>",
       {"<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>",
        "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>"},
       "secret cat", {"public dog", "public dog"}, "public dog\t\n\rpublic dog\t\n\r",
       "count=\"2\" uniqueCount=\"1\"", "secret", 0, {true, true},
       "<si><r><rPr><b/></rPr><t xml:space=\"preserve\">public dog</t></r><r><t xml:space=\"preserve\"></t></r></si>"
       "</sst>"},
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::string path = WriteXlsx("shared.xlsx", row.strings, row.sheets);
    std::vector<std::string> before;
    for (size_t i = 0; i < row.sheets.size(); i++) {
      before.push_back(Part(path, "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml"));
    }
    std::unique_ptr<OfficeDocument> document = Open(path);
    ASSERT_TRUE(document);
    ReplaceEach(*document, row.find, row.replacements);
    document->Close(true);
    std::unique_ptr<OfficeDocument> again = Open(path);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->WriteText(), row.text);

    Message error;
    std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(path), &error);
    ASSERT_TRUE(zip) << testing::EnglishReason(error);
    size_t left = 0;
    for (const std::string& name : zip->Names()) left += Occurrences(Part(path, name), row.gone);
    EXPECT_EQ(left, row.oldLeft);
    const std::string strings = Part(path, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find(row.counts), std::string::npos) << strings;
    EXPECT_NE(strings.find(row.holds), std::string::npos) << strings;
    for (size_t i = 0; i < row.sheets.size(); i++) {
      EXPECT_EQ(Part(path, "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml") == before[i],
                row.sheetKept[i])
          << "sheet " << i + 1;
    }
  }
}

// The packages of a workbook and a presentation with further stories: two
// sheets (the second with comments out of cell order, one on a rich
// string with a line break and a phonetic run, and a name that holds the
// word searched), two slides (the first with a notes page that also holds
// a slide number, the second with an empty notes placeholder).
std::vector<Entry> WorkbookWithComments(bool protectedSheet) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  std::vector<Entry> entries = testing::Workbook(
      "<sst xmlns=\"" + main + "\"><si><t>cat in a cell</t></si></sst>",
      {"<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row></sheetData>",
       "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>x</t></is></c></row></sheetData>" +
           std::string(protectedSheet ? "<sheetProtection sheet=\"1\"/>" : "")});
  for (Entry& entry : entries) {
    if (entry.name == "xl/workbook.xml") entry.content.replace(entry.content.find("S2"), 2, "cat &amp; co");
  }
  entries.push_back({"xl/worksheets/_rels/sheet2.xml.rels",
                     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                     "relationships\"><Relationship Id=\"rId1\" Type=\"http://schemas."
                     "openxmlformats.org/officeDocument/2006/relationships/comments\" "
                     "Target=\"../comments1.xml\"/></Relationships>"});
  entries.push_back(
      {"xl/comments1.xml",
       "<comments xmlns=\"" + main + "\"><authors><author>me</author></authors><commentList>"
       "<comment ref=\"B2\" authorId=\"0\"><text><t>second cat</t></text></comment>"
       "<comment ref=\"A1\" authorId=\"0\"><text><r><rPr><b/></rPr><t>me:</t></r><r><t "
       "xml:space=\"preserve\">&#10;first cat</t></r></text></comment>"
       "<comment ref=\"C1\" authorId=\"0\"><text><t>third</t><rPh sb=\"0\" eb=\"1\"><t>cat</t>"
       "</rPh></text></comment></commentList></comments>"});
  return entries;
}

std::vector<Entry> SpreadsheetWithComments() {
  return {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", true},
          {"content.xml",
           "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><office:body><office:spreadsheet>"
           "<table:table table:name=\"First\"><table:table-row><table:table-cell "
           "table:number-columns-repeated=\"3\" office:value-type=\"string\"><office:annotation>"
           "<dc:creator>me</dc:creator><text:p>note cat</text:p></office:annotation><text:p>x</text:p>"
           "</table:table-cell></table:table-row><table:table-row><table:table-cell "
           "office:value-type=\"string\"><office:annotation><text:p>one cat</text:p><text:p>two"
           "</text:p></office:annotation><text:p>y</text:p></table:table-cell></table:table-row>"
           "</table:table><table:table table:name=\"cat sheet\"><table:table-row><table:table-cell "
           "office:value-type=\"string\"><text:p>z</text:p></table:table-cell></table:table-row>"
           "</table:table></office:spreadsheet></office:body></office:document-content>"},
          {"META-INF/manifest.xml", "<manifest/>"}};
}

std::vector<Entry> PresentationWithNotes() {
  const std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  const std::string type = "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  auto placeholder = [](const char* kind, const char* text) {
    return std::string("<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"n\"/><p:cNvSpPr/><p:nvPr><p:ph "
                       "type=\"") + kind + "\"/></p:nvPr></p:nvSpPr><p:txBody>" + text +
           "</p:txBody></p:sp>";
  };
  return {{"_rels/.rels", Rels("ppt/presentation.xml")},
          {"ppt/presentation.xml",
           "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/><p:sldId id=\"257\" r:id=\"rId3\"/>"
           "</p:sldIdLst></p:presentation>"},
          {"ppt/_rels/presentation.xml.rels",
           rels + "<Relationship Id=\"rId2\" " + type + "slide\" Target=\"slides/slide1.xml\"/>"
                  "<Relationship Id=\"rId3\" " + type + "slide\" Target=\"slides/slide2.xml\"/>"
                  "</Relationships>"},
          {"ppt/slides/slide1.xml",
           Pptx("<p:sp><p:txBody><a:p><a:r><a:t>slide cat</a:t></a:r></a:p></p:txBody></p:sp>")},
          {"ppt/slides/_rels/slide1.xml.rels",
           rels + "<Relationship Id=\"rId1\" " + type +
               "notesSlide\" Target=\"../notesSlides/notesSlide1.xml\"/></Relationships>"},
          {"ppt/notesSlides/notesSlide1.xml",
           "<p:notes xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><p:cSld><p:spTree>"
           "<p:nvGrpSpPr/>" + placeholder("sldImg", "") + "<p:pic/>" +
               placeholder("body", "<a:p><a:r><a:t>a cat note</a:t></a:r></a:p><a:p><a:r><a:t>"
                                   "more</a:t></a:r></a:p>") +
               placeholder("sldNum", "<a:p><a:r><a:t>cat 1</a:t></a:r></a:p>") +
               "</p:spTree></p:cSld></p:notes>"},
          {"ppt/slides/slide2.xml",
           Pptx("<p:sp><p:txBody><a:p><a:r><a:t>two</a:t></a:r></a:p></p:txBody></p:sp>")},
          {"ppt/slides/_rels/slide2.xml.rels",
           rels + "<Relationship Id=\"rId1\" " + type +
               "notesSlide\" Target=\"../notesSlides/notesSlide2.xml\"/></Relationships>"},
          {"ppt/notesSlides/notesSlide2.xml",
           "<p:notes xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
           "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><p:cSld><p:spTree>"
           "<p:nvGrpSpPr/>" + placeholder("body", "<a:p/>") + "</p:spTree></p:cSld></p:notes>"}};
}

std::vector<Entry> OpenDocumentPresentationWithNotes() {
  auto frame = [](const char* attributes, const char* paragraphs) {
    return std::string("<draw:frame") + attributes + "><draw:text-box>" + paragraphs +
           "</draw:text-box></draw:frame>";
  };
  return {{"mimetype", "application/vnd.oasis.opendocument.presentation", true},
          {"content.xml",
           "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
           "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\">"
           "<office:body><office:presentation><draw:page>" +
               frame("", "<text:p>slide cat</text:p>") +
               "<presentation:notes><draw:page-thumbnail/>" +
               frame(" presentation:class=\"page-number\"", "<text:p>cat 1</text:p>") +
               frame(" presentation:class=\"notes\"", "<text:p>a cat note</text:p><text:p>more</text:p>") +
               "</presentation:notes></draw:page><draw:page>" +
               frame("", "<text:p>two</text:p>") + "<presentation:notes>" +
               frame(" presentation:class=\"notes\"", "") +
               "</presentation:notes></draw:page></office:presentation></office:body>"
               "</office:document-content>"},
          {"META-INF/manifest.xml", "<manifest/>"}};
}

// A workbook's comments and sheet names and a presentation's notes follow
// the body, each story begun by its mark; replacing "cat" edits each
// comment or note in its own part and leaves a sheet's name (and whatever
// the stories do not hold) as it was.
TEST_F(PackageDocumentTest, FurtherStoriesOfWorkbooksAndPresentations) {
  const std::string bookStories = "\f\rme: first cat\tthird\tsecond cat\t\r\fS1\rcat & co\r";
  const std::string slideStories = "\fa cat note more\n\r\r";
  const struct {
    const char* name;
    std::vector<Entry> entries;
    std::string body;      // the work text under OfficeParts::kBody
    std::string stories;   // what OtherStoriesText gives then
    std::string after;     // the work text under kAll once "cat" is "dog" everywhere
    size_t sheetNames, protectedLeft;
    const char* part;      // it holds `holds` afterwards, and `counted` as often as `times`
    const char* holds;
    const char* counted;
    size_t times;
    const char* kept;      // a part that keeps its bytes
  } kRows[] = {
      {"book.xlsx", WorkbookWithComments(false), "cat in a cell\t\n\rx\t\t\t\n\t\t\t\n\r", bookStories,
       "dog in a cell\t\n\rx\t\t\t\n\t\t\t\n\r\f\rme: first dog\tthird\tsecond dog\t\r\fS1\rcat & co\r", 1, 0,
       "xl/comments1.xml", "<t xml:space=\"preserve\">&#10;first dog</t>", "cat", 1,
       "xl/worksheets/sheet2.xml"},
      {"locked.xlsx", WorkbookWithComments(true), "cat in a cell\t\n\rx\t\t\t\n\t\t\t\n\r", bookStories,
       "dog in a cell\t\n\rx\t\t\t\n\t\t\t\n\r" + bookStories, 1, 2, "xl/comments1.xml", "second cat", "cat", 3,
       "xl/workbook.xml"},
      // The comment of three cells written as one is theirs once, at the
      // first; writing them out for an edit gives the others none.
      {"book.ods", SpreadsheetWithComments(), "x\tx\tx\t\ny\t\t\t\n\rz\t\n\r",
       "\fnote cat\tone cat two\t\r\r\fFirst\rcat sheet\r",
       "x\tx\tx\t\ny\t\t\t\n\rz\t\n\r\fnote dog\tone dog two\t\r\r\fFirst\rcat sheet\r", 1, 0,
       "content.xml", "<text:p>one dog</text:p>", "<office:annotation>", 2, "META-INF/manifest.xml"},
      {"slides.pptx", PresentationWithNotes(), "slide cat\n\rtwo\n\r", slideStories,
       "slide dog\n\rtwo\n\r\fa dog note more\n\r\r", 0, 0, "ppt/notesSlides/notesSlide1.xml",
       "<a:t>a dog note</a:t>", "cat", 1, "ppt/slides/slide2.xml"},
      {"slides.odp", OpenDocumentPresentationWithNotes(), "slide cat\n\rtwo\n\r", slideStories,
       "slide dog\n\rtwo\n\r\fa dog note more\n\r\r", 0, 0, "content.xml",
       "<text:p>a dog note</text:p>", "cat", 1, "META-INF/manifest.xml"},
  };
  auto open = [](const std::string& path, OfficeParts parts) {
    Message whyNot;
    bool notPackage = false;
    std::unique_ptr<OfficeDocument> document = OpenPackageDocument(
        path, CodePage::Utf8(), DefaultFileRewriter(), &whyNot, &notPackage, {}, parts);
    EXPECT_TRUE(document) << testing::EnglishReason(whyNot);
    return document;
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir_.File(row.name);
    WriteZip(path, row.entries);
    std::unique_ptr<OfficeDocument> body = open(path, OfficeParts::kBody);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->WriteText(), row.body);
    EXPECT_EQ(body->OtherStoriesText(), row.stories);
    std::unique_ptr<OfficeDocument> all = open(path, OfficeParts::kAll);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->WriteText(), row.body + row.stories);
    EXPECT_EQ(all->OtherStoriesText(), "");

    // Under kBody only the body changes.
    const std::string story = Part(path, row.part);
    testing::ReplaceAll(*body, "cat", "dog");
    body->Close(true);
    if (std::string(row.part) != "content.xml") {
      EXPECT_EQ(Part(path, row.part), story);
    }
    EXPECT_EQ(open(path, OfficeParts::kBody)->OtherStoriesText(), row.stories);

    const std::string kept = Part(path, row.kept);
    all = open(path, OfficeParts::kAll);
    ASSERT_TRUE(all);
    testing::ReplaceAll(*all, "cat", "dog");
    const NotApplied left = all->Leftovers();
    all->Close(true);
    EXPECT_EQ(left.Of(NotAppliedReason::kSheetName), row.sheetNames);
    EXPECT_EQ(left.Of(NotAppliedReason::kProtected), row.protectedLeft);
    EXPECT_EQ(left.Total(), row.sheetNames + row.protectedLeft);
    EXPECT_EQ(open(path, OfficeParts::kAll)->WriteText(), row.after);
    const std::string edited = Part(path, row.part);
    EXPECT_NE(edited.find(row.holds), std::string::npos) << edited;
    EXPECT_EQ(Occurrences(edited, row.counted), row.times) << edited;
    EXPECT_EQ(Part(path, row.kept), kept);
  }
}

TEST_F(PackageDocumentTest, AnOccurrenceOverAnObjectLeavesTheObject) {
  const std::string inline_ =
      "<w:r><w:drawing><wp:inline><wp:docPr id=\"1\"/></wp:inline></w:drawing></w:r>";
  const std::string anchor =
      "<w:r><w:drawing><wp:anchor><wp:docPr id=\"2\"/></wp:anchor></w:drawing></w:r>";
  const std::string path = WriteDocx(
      "objects.docx", "<w:p><w:r><w:t>cat</w:t></w:r>" + inline_ + "<w:r><w:t>cat</w:t></w:r></w:p>"
                      "<w:p><w:r><w:t>do</w:t></w:r>" + anchor + "<w:r><w:t>g</w:t></w:r></w:p>");
  NotApplied left;
  const std::string object = "\xEF\xBF\xBC";
  EXPECT_EQ(Replace(path, "cat" + object + "cat", "x", &left), "cat" + object + "cat\rdog\r");
  EXPECT_EQ(Replace(path, "dog", "x", &left), "cat" + object + "cat\rdog\r");
  EXPECT_EQ(left.Of(NotAppliedReason::kObjectAnchor), 1u);
  const std::string xml = Part(path, "word/document.xml");
  EXPECT_NE(xml.find("<wp:inline>"), std::string::npos);
  EXPECT_NE(xml.find("<wp:anchor>"), std::string::npos);
  // Either side of the object is text as any other.
  EXPECT_EQ(Replace(path, "cat", "x", &left), "x" + object + "x\rdog\r");
  EXPECT_EQ(left.Total(), 0u);
}

TEST_F(PackageDocumentTest, WhatIsNoEditablePackageIsToldOrHandedOn) {
  Message whyNot;
  const std::string encrypted =
      dir_.Write("secret.docx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                                    std::string("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32));
  EXPECT_FALSE(Open(encrypted, &whyNot));
  EXPECT_NE(testing::EnglishReason(whyNot).find("encrypted"), std::string::npos);
  const std::string odt = dir_.File("sheet.odt");
  WriteZip(odt, {{"mimetype", "application/vnd.oasis.opendocument.spreadsheet", true}});
  EXPECT_FALSE(Open(odt, &whyNot));
  EXPECT_NE(testing::EnglishReason(whyNot).find("OpenDocument text"), std::string::npos);
  const std::string broken = WriteOdt("broken.odt", "<text:p>a</text:q>");
  EXPECT_FALSE(Open(broken, &whyNot));
  // A legacy binary document under a new name is for an application.
  bool notPackage = false;
  const std::string legacy = dir_.Write("old.docx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
  EXPECT_FALSE(OpenPackageDocument(legacy, CodePage::Utf8(), DefaultFileRewriter(), &whyNot,
                                   &notPackage));
  EXPECT_TRUE(notPackage);
  // Two entries of one name: other readers may take the one not edited.
  const std::string twice = dir_.File("twice.docx");
  WriteZip(twice, {{"_rels/.rels", Rels("word/document.xml")},
                   {"word/document.xml", Docx("<w:p><w:r><w:t>a</w:t></w:r></w:p>")},
                   {"word/document.xmX", Docx("<w:p><w:r><w:t>b</w:t></w:r></w:p>")}});
  std::string bytes = testing::ReadBytes(twice);
  for (size_t at = 0; (at = bytes.find("word/document.xmX", at)) != std::string::npos;)
    bytes[at + 16] = 'l';
  dir_.Write("twice.docx", bytes);
  EXPECT_FALSE(Open(twice, &whyNot));
  EXPECT_NE(testing::EnglishReason(whyNot).find("two entries named word/document.xml"), std::string::npos) << testing::EnglishReason(whyNot);
}

// A part is read only within the limit: its declared size is checked
// first, the count of bytes inflated stops a part that lies about it, and a
// stop request ends the reading. Each refusal is told in a reason, never
// taken for an empty text.
TEST_F(PackageDocumentTest, APartOverTheLimitOrStoppedIsLeftOut) {
  const std::string text(2'000'000, 'a');
  struct Row {
    const char* name;
    uint64_t limit;
    uint32_t declared;  // 0: the true size
    bool stop;
    const char* whyNot;  // empty: the document opens
  } rows[] = {
      {"declared over the limit", 1 << 20, 0, false,
       "word/document.xml inflates to 2.0 MB, more than the 1 MiB limit; left out"},
      {"declared under the limit, inflating to more", 4 << 20, 999, false,
       "word/document.xml inflates to more than the 999 bytes its package declares; left out"},
      {"under the limit", 4 << 20, 0, false, ""},
      {"stopped", 4 << 20, 0, true, "_rels/.rels: stopped; left out"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir_.File("part.docx");
    WriteZip(path, testing::WordDocument(text));
    if (row.declared != 0) {
      dir_.Write("part.docx", testing::WithDeclaredSize(testing::ReadBytes(path),
                                                        "word/document.xml", row.declared));
    }
    OfficeReadLimits limits;
    limits.partLimit = row.limit;
    int asked = 0;
    if (row.stop) limits.shouldStop = [&asked] { return ++asked > 0; };
    Message whyNot;
    bool notPackage = false;
    std::unique_ptr<OfficeDocument> document = OpenPackageDocument(
        path, CodePage::Utf8(), DefaultFileRewriter(), &whyNot, &notPackage, limits);
    EXPECT_EQ(testing::EnglishReason(whyNot), row.whyNot);
    if (*row.whyNot == '\0') {
      ASSERT_TRUE(document);
      EXPECT_EQ(document->WriteText().size(), text.size() + 1);
    } else {
      EXPECT_FALSE(document);
    }
  }
}

// A Word document with every further story: two sections naming headers
// and footers (one header twice, one part the package lacks, references
// written out of their order), notes referred to in another order than the
// notes part holds them beside notes nobody refers to (the tab after a
// note's number is none of its text), a comment, and a text box written
// twice (a drawing and its fallback).
std::vector<Entry> WordStories() {
  const std::string w = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
  const std::string rel =
      "<Relationship Id=\"%s\" Type=\"http://schemas.openxmlformats.org/"
      "officeDocument/2006/relationships/%s\" Target=\"%s\"/>";
  auto relationship = [&](const std::string& id, const std::string& type,
                          const std::string& target) {
    std::string r = rel;
    for (const std::string* value : {&id, &type, &target}) r.replace(r.find("%s"), 2, *value);
    return r;
  };
  auto paragraphs = [&](const std::string& root, const std::string& inner) {
    return "<w:" + root + " " + w + ">" + inner + "</w:" + root + ">";
  };
  auto p = [](const std::string& text) { return "<w:p><w:r><w:t>" + text + "</w:t></w:r></w:p>"; };
  auto note = [&](const char* kind, const char* id, const char* type, const std::string& text) {
    return std::string("<w:") + kind + " w:id=\"" + id + "\"" + (*type ? " w:type=\"" : "") + type +
           (*type ? "\"" : "") + "><w:p><w:r><w:footnoteRef/><w:tab/></w:r>" + p(text).substr(5) +
           "</w:" + kind + ">";
  };
  auto reference = [](const char* kind, const char* id) {
    return std::string("<w:r><w:") + kind + " w:id=\"" + id + "\"/></w:r>";
  };
  const std::string box = "<w:txbxContent>" + p("box cat") + "</w:txbxContent>";
  const std::string body =
      "<w:p><w:pPr><w:sectPr><w:footerReference w:type=\"default\" r:id=\"rF1\"/>"
      "<w:headerReference r:id=\"rH1\"/></w:sectPr></w:pPr><w:r><w:t>body cat</w:t></w:r>" +
      reference("footnoteReference", "3") + reference("footnoteReference", "2") +
      reference("endnoteReference", "1") + reference("commentReference", "0") +
      reference("footnoteReference", "3") +
      "</w:p><w:p><w:r><mc:AlternateContent>"
      "<mc:Choice Requires=\"wps\"><w:drawing><wp:anchor><wps:wsp><wps:txbx>" +
      box +
      "</wps:txbx></wps:wsp></wp:anchor></w:drawing></mc:Choice><mc:Fallback><w:pict><v:shape>"
      "<v:textbox>" +
      box +
      "</v:textbox></v:shape></w:pict></mc:Fallback></mc:AlternateContent>"
      "</w:r><w:r><w:t>after</w:t></w:r></w:p><w:sectPr><w:footerReference w:type=\"even\" "
      "r:id=\"rF2\"/><w:footerReference w:type=\"first\" r:id=\"rGone\"/><w:headerReference "
      "w:type=\"default\" r:id=\"rH1\"/><w:headerReference w:type=\"first\" r:id=\"rH2\"/>"
      "</w:sectPr>";
  return {
      {"[Content_Types].xml", "<Types/>"},
      {"_rels/.rels", Rels("word/document.xml")},
      {"word/document.xml",
       "<w:document " + w +
           " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\" "
           "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
           "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
           "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
           "xmlns:v=\"urn:schemas-microsoft-com:vml\"><w:body>" +
           body + "</w:body></w:document>"},
      {"word/_rels/document.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           relationship("rH1", "header", "header1.xml") +
           relationship("rF1", "footer", "footer1.xml") +
           relationship("rH2", "header", "header2.xml") +
           relationship("rF2", "footer", "footer2.xml") +
           relationship("rGone", "footer", "footer9.xml") +
           relationship("rN", "footnotes", "footnotes.xml") +
           relationship("rE", "endnotes", "endnotes.xml") +
           relationship("rC", "comments", "comments.xml") + "</Relationships>"},
      {"word/header1.xml", paragraphs("hdr", p("head cat"))},
      {"word/footer1.xml", paragraphs("ftr", p("foot"))},
      {"word/header2.xml", paragraphs("hdr", p("first cat"))},
      {"word/footer2.xml", paragraphs("ftr", p("even"))},
      {"word/footnotes.xml",
       paragraphs("footnotes", note("footnote", "-1", "separator", "sep cat") +
                                   note("footnote", "1", "", "nobody's cat") +
                                   note("footnote", "2", "normal", "two cat") +
                                   note("footnote", "3", "", "three"))},
      {"word/endnotes.xml", paragraphs("endnotes", note("endnote", "1", "", "end cat"))},
      {"word/comments.xml", paragraphs("comments", note("comment", "0", "", "said cat"))},
  };
}

// An OpenDocument text with every further story: master pages whose
// headers and footers are written out of their order (one empty and one
// not shown: neither is read), a footnote and an endnote, an annotation, and frames anchored to
// a paragraph and to the page.
std::vector<Entry> OdtStories() {
  const std::string names =
      "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
      "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
      "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
      "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"";
  auto note = [](const char* kind, const std::string& text) {
    return std::string("<text:note text:note-class=\"") + kind +
           "\"><text:note-citation>1</text:note-citation><text:note-body><text:p>" + text +
           "</text:p></text:note-body></text:note>";
  };
  const std::string frame =
      "<draw:frame text:anchor-type=\"%s\"><draw:text-box><text:p>%s</text:p></draw:text-box>"
      "</draw:frame>";
  auto box = [&](const std::string& anchor, const std::string& text) {
    std::string f = frame;
    f.replace(f.find("%s"), 2, anchor);
    f.replace(f.find("%s"), 2, text);
    return f;
  };
  const std::string content =
      "<office:document-content " + names + "><office:body><office:text>" +
      box("page", "page cat") + "<text:p>body cat" + note("footnote", "foot cat") +
      note("endnote", "end cat") +
      "<office:annotation><dc:creator>cat</dc:creator><dc:date>2026-01-01</dc:date><text:p>said "
      "cat</text:p></office:annotation>" +
      box("paragraph", "box cat") +
      "</text:p></office:text></office:body></office:document-content>";
  const std::string styles =
      "<office:document-styles " + names +
      "><office:master-styles>"
      "<style:master-page style:name=\"A\"><style:header-left><text:p>left cat</text:p>"
      "</style:header-left><style:footer><text:p>foot</text:p></style:footer>"
      "<style:header-first><text:p>first   cat</text:p></style:header-first><style:header>"
      "<text:p>head cat</text:p></style:header></style:master-page>"
      "<style:master-page style:name=\"B\"><style:header/><style:footer-left style:display="
      "\"false\"><text:p>hidden</text:p></style:footer-left><style:footer><text:p>second</text:p>"
      "</style:footer></style:master-page></office:master-styles></office:document-styles>";
  return {{"mimetype", "application/vnd.oasis.opendocument.text", true},
          {"content.xml", content},
          {"styles.xml", styles},
          {"META-INF/manifest.xml", "<manifest/>"}};
}

// The further stories come after the body in their order, each begun by its
// mark; the body reads as it did, and under kBody the stories are kept for
// a count.
TEST_F(PackageDocumentTest, FurtherStoriesFollowTheBodyInTheirOrder) {
  const std::string object = "\xEF\xBF\xBC";
  const struct {
    const char* name;
    std::vector<Entry> entries;
    std::string body;
    std::string stories;
  } rows[] = {
      {"a.docx", WordStories(),
       "body cat" + object + object + object + object + object + "\rafter\r",
       "\fhead cat\rfoot\rfirst cat\reven\r\fthree\rtwo cat\r\fend cat\r\fsaid cat\r\fbox cat\r"},
      {"a.odt", OdtStories(), "body cat" + object + object + object + "\r",
       "\fhead cat\rfirst cat\rleft cat\rfoot\rsecond\r\ffoot cat\r\fend cat\r"
       "\fsaid cat\r\fpage cat\rbox cat\r"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir_.File(row.name);
    WriteZip(path, row.entries);
    std::unique_ptr<OfficeDocument> all = Open(path, nullptr, OfficeParts::kAll);
    std::unique_ptr<OfficeDocument> body = Open(path);
    ASSERT_TRUE(all && body);
    EXPECT_EQ(all->WriteText(), row.body + row.stories);
    EXPECT_EQ(all->OtherStoriesText(), "");
    EXPECT_EQ(body->WriteText(), row.body);
    EXPECT_EQ(body->OtherStoriesText(), row.stories);
  }
}

// Each occurrence is edited in the part its story was read from, and the
// parts that held none keep their bytes; under kBody only the body changes.
// An occurrence may not reach across a story's mark.
TEST_F(PackageDocumentTest, AnEditInAStoryLandsInItsPart) {
  const struct {
    const char* name;
    std::vector<Entry> entries;
    OfficeParts parts;
    std::vector<std::string> changed;
  } rows[] = {
      {"a.docx",
       WordStories(),
       OfficeParts::kAll,
       {"word/document.xml", "word/header1.xml", "word/header2.xml", "word/footnotes.xml",
        "word/endnotes.xml", "word/comments.xml"}},
      {"a.odt", OdtStories(), OfficeParts::kAll, {"content.xml", "styles.xml"}},
      {"b.docx", WordStories(), OfficeParts::kBody, {"word/document.xml"}},
      {"b.odt", OdtStories(), OfficeParts::kBody, {"content.xml"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = dir_.File(row.name);
    WriteZip(path, row.entries);
    std::unique_ptr<OfficeDocument> before = Open(path, nullptr, OfficeParts::kAll);
    ASSERT_TRUE(before);
    std::string expected = before->WriteText();
    const size_t stories = expected.find('\f');
    for (size_t at = 0; (at = expected.find("cat", at)) != std::string::npos; at += 3) {
      if (row.parts == OfficeParts::kAll || at < stories) expected.replace(at, 3, "dog");
    }
    NotApplied left;
    Replace(path, "cat", "dog", &left, row.parts);
    EXPECT_EQ(left.Total(), 0u);
    std::unique_ptr<OfficeDocument> after = Open(path, nullptr, OfficeParts::kAll);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->WriteText(), expected);
    for (const Entry& entry : row.entries) {
      const bool changed =
          std::find(row.changed.begin(), row.changed.end(), entry.name) != row.changed.end();
      EXPECT_EQ(Part(path, entry.name) != entry.content, changed) << entry.name;
    }
    EXPECT_EQ(Replace(path, "\r\f", "", &left, OfficeParts::kAll), expected);
    EXPECT_EQ(left.Of(NotAppliedReason::kSpansParts), 5u);
  }
}

// Word writes a text box twice: the drawing read, and a fallback copy for
// older readers. A replace in a box takes the box's fallback out with it,
// once however many edits land there, so that the old text stays in no
// entry; a box not edited keeps its fallback, the other entries their bytes.
TEST_F(PackageDocumentTest, AnEditedTextBoxKeepsNoFallbackCopy) {
  auto box = [](const std::string& paragraphs) {
    const std::string content = "<w:txbxContent>" + paragraphs + "</w:txbxContent>";
    const std::string fallback = "<mc:Fallback><w:pict><v:shape><v:textbox>" + content +
                                 "</v:textbox></v:shape></w:pict></mc:Fallback>";
    return std::make_pair(
        "<w:p><w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor>"
        "<wps:wsp><wps:txbx>" + content + "</wps:txbx></wps:wsp></wp:anchor></w:drawing>"
        "</mc:Choice>" + fallback + "</mc:AlternateContent></w:r></w:p>",
        fallback);
  };
  const auto edited = box("<w:p><w:r><w:t>cat and </w:t><w:t>cat</w:t></w:r></w:p>"
                          "<w:p><w:r><w:t>cat</w:t></w:r></w:p>");
  const auto kept = box("<w:p><w:r><w:t>bird</w:t></w:r></w:p>");
  const std::vector<Entry> entries = {
      {"[Content_Types].xml", "<Types/>"},
      {"_rels/.rels", Rels("word/document.xml")},
      {"word/document.xml",
       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
       "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
       "xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\" "
       "xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\" "
       "xmlns:v=\"urn:schemas-microsoft-com:vml\"><w:body>" +
           edited.first + kept.first + "</w:body></w:document>"},
      {"docProps/app.xml", "<Properties/>"},
  };
  const std::string path = dir_.File("box.docx");
  WriteZip(path, entries);
  const struct {
    const char* find;
    const char* replace;
    const char* boxes;
    size_t fallbacks;
  } passes[] = {
      {"cat", "dog", "dog and dog\rdog\rbird\r", 1},
      {"bird", "fish", "dog and dog\rdog\rfish\r", 0},
  };
  for (const auto& pass : passes) {
    SCOPED_TRACE(pass.find);
    NotApplied left;
    const std::string text = Replace(path, pass.find, pass.replace, &left, OfficeParts::kAll);
    EXPECT_EQ(left.Total(), 0u);
    EXPECT_EQ(text.substr(text.rfind('\f') + 1), pass.boxes);
    for (const Entry& entry : entries) {
      const std::string bytes = Part(path, entry.name);
      EXPECT_EQ(Occurrences(bytes, pass.find), 0u) << entry.name;
      if (entry.name != "word/document.xml") {
        EXPECT_EQ(bytes, entry.content);
      }
    }
    const std::string document = Part(path, "word/document.xml");
    EXPECT_EQ(Occurrences(document, "<mc:Fallback>"), pass.fallbacks);
    if (pass.fallbacks == 1) {
      EXPECT_NE(document.find(kept.second), std::string::npos);
    }
  }
}

// An empty file named as an office document is told, not opened as a new
// empty document by the application behind the bridge.
TEST_F(PackageDocumentTest, AnEmptyOfficeFileIsToldForEveryKind) {
  std::unique_ptr<OfficeBridge> bridge = MakePackageBridge(nullptr, DefaultFileRewriter());
  for (const char* name : {"e.docx", "e.doc", "e.xlsx", "e.ppt", "e.odt"}) {
    const std::string path = dir_.Write(name, "");
    Message whyNot;
    EXPECT_FALSE(bridge->Open(path, OfficeKindOf(SplitPath(path).extension), CodePage::Utf8(),
                              &whyNot));
    EXPECT_NE(testing::EnglishReason(whyNot).find("empty"), std::string::npos) << name;
  }
}

}  // namespace
}  // namespace strbatch

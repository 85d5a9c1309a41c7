// Helpers for the office tests: GBK text from UTF-8 literals, a driver that
// hands a document's occurrences over the way the batch workers do, and
// zipped packages (a workbook's among them) written from their entries.
#ifndef STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_
#define STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_

#include <zip.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "base/message.h"
#include "config/language.h"
#include "config/message_text.h"
#include "office/office_bridge.h"

namespace strbatch::testing {

// A reason as a user reads it in English (english.lang beside the test).
inline std::string EnglishReason(const Message& reason) {
  static const LanguageCatalog english(Language::English);
  return MessageText(english, reason);
}

inline std::string Gbk(std::string_view utf8) {
  std::string bytes;
  CodePage::Gbk().FromUtf8(utf8, &bytes);
  return bytes;
}

// Replaces every occurrence of find in the document's work text, left to
// right, as a plain definition does: each occurrence is located in the text
// from the cursor and, when edit is set, replaced. Gives the count.
inline int ReplaceAll(OfficeDocument& document, std::string_view find, std::string_view replace,
                      bool edit = true) {
  const std::string text = document.WriteText();
  document.BeginOccurrences(text);
  int count = 0;
  size_t cursor = 0;
  for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, cursor)) {
    count++;
    document.LocateOccurrence(static_cast<int64_t>(at), static_cast<int64_t>(find.size()));
    if (edit) document.EditOccurrence(replace);
    cursor = at + find.size();
  }
  return count;
}

struct Entry {
  std::string name;
  std::string content;
  bool stored = false;
};

// Writes a zip of the entries, in their order.
inline void WriteZip(const std::string& path, const std::vector<Entry>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr);
  for (const Entry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
    const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, 0);
    ASSERT_GE(index, 0);
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                             entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
}

// The entries of a workbook of sheets (each one's content inside
// <worksheet>, as xl/worksheets/sheetN.xml) with sharedStrings.xml as given;
// cell format 1 is not locked.
inline std::vector<Entry> Workbook(const std::string& strings,
                                   const std::vector<std::string>& sheets) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  std::string list, rels;
  std::vector<Entry> entries = {
      {"_rels/.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
       "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/sharedStrings.xml", strings},
      {"xl/styles.xml", "<styleSheet xmlns=\"" + main +
                            "\"><cellXfs count=\"2\"><xf numFmtId=\"0\"/><xf numFmtId=\"0\" "
                            "applyProtection=\"1\"><protection locked=\"0\"/></xf></cellXfs>"
                            "</styleSheet>"}};
  for (size_t i = 0; i < sheets.size(); i++) {
    const std::string n = std::to_string(i + 1);
    list += "<sheet name=\"S" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"x/worksheet\" Target=\"worksheets/sheet" + n +
            ".xml\"/>";
    entries.push_back({"xl/worksheets/sheet" + n + ".xml",
                       "<worksheet xmlns=\"" + main + "\">" + sheets[i] + "</worksheet>"});
  }
  entries.push_back({"xl/workbook.xml", "<workbook xmlns=\"" + main +
                                            "\" xmlns:r=\"http://schemas.openxmlformats.org/"
                                            "officeDocument/2006/relationships\"><sheets>" +
                                            list + "</sheets></workbook>"});
  entries.push_back(
      {"xl/_rels/workbook.xml.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           rels +
           "<Relationship Id=\"rIdT\" Type=\"x/sharedStrings\" Target=\"sharedStrings.xml\"/>"
           "<Relationship Id=\"rIdS\" Type=\"x/styles\" Target=\"styles.xml\"/></Relationships>"});
  return entries;
}

// The entries of a Word document of one paragraph holding text.
inline std::vector<Entry> WordDocument(const std::string& text) {
  return {{"_rels/.rels",
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
          {"word/document.xml",
           "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
           "<w:body><w:p><w:r><w:t>" +
               text + "</w:t></w:r></w:p></w:body></w:document>"}};
}

// The bytes of a zip whose entry name declares size as its uncompressed
// size, in its local header and in the central directory: a package that
// lies about what a part inflates to.
inline std::string WithDeclaredSize(std::string zip, const std::string& name, uint32_t size) {
  const struct {
    const char* signature;
    size_t sizeAt, nameAt;
  } kHeaders[] = {{"PK\x03\x04", 22, 30}, {"PK\x01\x02", 24, 46}};
  for (const auto& header : kHeaders) {
    for (size_t at = zip.find(header.signature); at != std::string::npos;
         at = zip.find(header.signature, at + 4)) {
      if (zip.compare(at + header.nameAt, name.size(), name) != 0) continue;
      for (size_t i = 0; i < 4; i++) zip[at + header.sizeAt + i] = static_cast<char>(size >> (8 * i));
    }
  }
  return zip;
}

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_OFFICE_OFFICE_TEST_SUPPORT_H_

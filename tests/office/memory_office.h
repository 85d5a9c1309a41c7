// An office suite held in memory, for tests of the document modules. The
// test builds the documents and finds them again by path after the batch;
// Open finds them under the same path. Every member call goes through
// onCall (which may throw AutomationError to make that call fail) and, with
// logCalls set, into calls.
#ifndef STRBATCH_TESTS_OFFICE_MEMORY_OFFICE_H_
#define STRBATCH_TESTS_OFFICE_MEMORY_OFFICE_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "office/model/office_model.h"
#include "office/office_bridge.h"

namespace strbatch {

struct MemoryCharacter {
  std::string text;  // UTF-8; one code point, or "\r\a" for a cell mark
  EditLock lock = EditLock::kNone;
  // An anchor (of an image, a frame, a bookmark) lies just before the
  // character: a range that holds it inside is locked.
  bool anchorBefore = false;
};
using MemoryText = std::vector<MemoryCharacter>;

// One character per code point; "\r\a" is one character that cannot be
// edited, like a table cell mark.
MemoryText SplitMemoryText(std::string_view utf8);
std::string JoinMemoryText(const MemoryText& text);

struct MemoryDocumentState {
  bool open = false;
  bool modified = false;
  int saves = 0;           // copies written by SaveCopyAs
  bool failSave = false;   // SaveCopyAs throws
};

struct MemoryWordData : MemoryDocumentState {
  MemoryText text;
  std::map<OfficeStory, MemoryText> stories;  // the further stories' characters
};

struct MemoryCell {
  MemoryText text;
  std::string displayed;        // Text of the cell; its characters when empty
  bool textCell = true;         // false: a number or formula, not editable
  bool charactersFail = false;  // reading its Characters throws
};

struct MemoryWorkbookData : MemoryDocumentState {
  // Worksheets, each its used range: rows of cells.
  std::vector<std::vector<std::vector<MemoryCell>>> sheets;
  std::vector<std::string> names;  // "SheetN" where missing
  std::vector<std::vector<MemoryCell>> comments;  // per worksheet, by row then column
  // Appends a worksheet of text cells, given row by row.
  void AddSheet(const std::vector<std::vector<std::string>>& rows);
};

struct MemoryShape {
  bool hasTextFrame = true;
  MemoryText text;
};

struct MemoryPresentationData : MemoryDocumentState {
  std::vector<std::vector<MemoryShape>> slides;
  std::vector<std::vector<MemoryShape>> notes;  // per slide, its notes texts
};

class MemoryOffice : public OfficeSuite {
 public:
  MemoryWordData& AddWordDocument(const std::string& path, std::string_view text);
  MemoryWorkbookData& AddWorkbook(const std::string& path);
  MemoryPresentationData& AddPresentation(const std::string& path);

  MemoryWordData& Word(const std::string& path) { return *words_.at(path); }
  MemoryWorkbookData& Workbook(const std::string& path) { return *workbooks_.at(path); }
  MemoryPresentationData& Presentation(const std::string& path) {
    return *presentations_.at(path);
  }

  std::unique_ptr<WordApplication> StartWord(Message* whyNot) override;
  std::unique_ptr<ExcelApplication> StartExcel(Message* whyNot) override;
  std::unique_ptr<PowerPointApplication> StartPowerPoint(Message* whyNot) override;
  void EndRun() override { endRuns++; }

  // Applications that cannot be started.
  bool wordMissing = false;
  bool excelMissing = false;
  bool powerPointMissing = false;

  int wordStarts = 0, excelStarts = 0, powerPointStarts = 0;  // attempts
  int wordQuits = 0, excelQuits = 0, powerPointQuits = 0;
  int endRuns = 0;

  std::function<void(const std::string& call)> onCall;
  bool logCalls = false;
  std::vector<std::string> calls;

  // Used by the model's objects for every member call.
  void Touch(const std::string& call);

 private:
  std::map<std::string, std::shared_ptr<MemoryWordData>> words_;
  std::map<std::string, std::shared_ptr<MemoryWorkbookData>> workbooks_;
  std::map<std::string, std::shared_ptr<MemoryPresentationData>> presentations_;
};

}  // namespace strbatch

#endif  // STRBATCH_TESTS_OFFICE_MEMORY_OFFICE_H_

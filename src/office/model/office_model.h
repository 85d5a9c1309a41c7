// The narrow object model through which office documents are read and
// edited: exactly the members of the word processor, the spreadsheet and the
// presentation program that the document modules call. Two implementations
// exist: LibreOffice through UNO (a plugin) and an in-memory model for tests.
//
// Text crosses this interface as UTF-8. One character is one Unicode code
// point, except a table cell mark, which reads "\r\a" and is one character.
// Positions and counts are in characters. Objects given out by a document
// are valid while the document is open. Every member may throw
// AutomationError; it is the one exception type of the system.
#ifndef STRBATCH_OFFICE_MODEL_OFFICE_MODEL_H_
#define STRBATCH_OFFICE_MODEL_OFFICE_MODEL_H_

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/message.h"

namespace strbatch {

// The stories of a document (office_bridge.h).
enum class OfficeStory;

// An office call that failed. It ends the batch run unless the office code
// absorbs it. Visible across the plugin boundary so that it can be caught
// where it was not thrown.
class __attribute__((visibility("default"))) AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  // A failure the user can do something about (a save that cannot be
  // written), told as reason in the user's language; what() stays English.
  AutomationError(Message reason, const std::string& what)
      : std::runtime_error(what), reason_(std::move(reason)) {}
  // Empty when there is only what().
  const Message& Reason() const { return reason_; }

 private:
  Message reason_;
};

// Why characters cannot be changed in place; kNone when they can.
enum class EditLock {
  kNone,
  kStructure,  // a table cell mark, the last paragraph mark, a mark before a table:
               // removing it would join texts that stay apart
  kObject,     // a field, a footnote reference, or an anchor of an image, frame,
               // shape or bookmark among or inside the characters
  kProtected,  // a protected sheet or section, or a document opened read-only
  kComputed,   // a number, a date or a formula's result, shown as text
};

// ---- Word processor ------------------------------------------------------

// A run of characters [Start, End) of a document.
class WordRange {
 public:
  virtual ~WordRange() = default;
  virtual long Start() = 0;
  virtual long End() = 0;
  virtual void SetRange(long start, long end) = 0;
  virtual std::string Text() = 0;
  // Removes the range's characters; the range is left empty at its start.
  virtual void Cut() = 0;
  // Inserts at the range's end and extends the range over the insertion.
  // CR, LF and CR LF make one paragraph break, VT a line break.
  virtual void InsertAfter(std::string_view text) = 0;
  // kNone when Cut and InsertAfter change exactly these characters in place
  // and leave everything else as it was; otherwise why not. An anchor at
  // either end of the range stays where it is. For an empty range: whether
  // text can be inserted there.
  virtual EditLock Lock() = 0;
  // As Lock, for a Cut after which nothing is inserted: removing a whole
  // text can take more with it than replacing it does.
  virtual EditLock RemovalLock() { return Lock(); }
};

class WordCharacters {
 public:
  virtual ~WordCharacters() = default;
  virtual long Count() = 0;
  // The range of character index (1-based).
  virtual std::unique_ptr<WordRange> Item(long index) = 0;
};

class WordDocument {
 public:
  virtual ~WordDocument() = default;
  virtual std::unique_ptr<WordCharacters> Characters() = 0;
  // The characters of a further story (headers and footers, footnotes,
  // endnotes, comments, text boxes): its texts one after another in the
  // order of OfficeStory, each paragraph ended by its mark as in the body.
  // Empty when the document has none.
  virtual std::unique_ptr<WordCharacters> StoryCharacters(OfficeStory story) = 0;
  // Whether the document holds changes not saved yet.
  virtual bool Modified() = 0;
  // Writes the document in its own file format to path (a new file); the
  // caller puts it in place of the original.
  virtual void SaveCopyAs(const std::string& path) = 0;
  virtual void Close() = 0;
};

class WordApplication {
 public:
  virtual ~WordApplication() = default;
  // Opens a document for editing, hidden. Null, with a reason in *whyNot,
  // when the file is not a document this application can store back in its
  // own format; throws when the application fails to open it.
  virtual std::unique_ptr<WordDocument> Open(const std::string& path, Message* whyNot) = 0;
  // Ends the instance without saving anything.
  virtual void Quit() = 0;
};

// ---- Spreadsheet ---------------------------------------------------------

// Characters of one cell: all of them, or [start, start + length) clamped to
// the cell's text.
class ExcelCharacters {
 public:
  virtual ~ExcelCharacters() = default;
  virtual std::string Text() = 0;
  virtual long Count() = 0;
  virtual void Delete() = 0;
  // Inserts before the first of these characters.
  virtual void Insert(std::string_view text) = 0;
  // kNone when these characters can be changed as text; otherwise why not
  // (a number or a formula, a field, a protected worksheet).
  virtual EditLock Lock() = 0;
};

// The used range of a worksheet, or one cell of it.
class ExcelRange {
 public:
  virtual ~ExcelRange() = default;
  virtual long RowCount() = 0;
  virtual long ColumnCount() = 0;
  // A cell, 1-based and relative to this range.
  virtual std::unique_ptr<ExcelRange> Item(long row, long column) = 0;
  virtual std::unique_ptr<ExcelCharacters> Characters() = 0;
  // start is 1-based.
  virtual std::unique_ptr<ExcelCharacters> Characters(long start, long length) = 0;
  // The text the cell displays.
  virtual std::string Text() = 0;
};

class ExcelWorksheet {
 public:
  virtual ~ExcelWorksheet() = default;
  virtual void Activate() = 0;
  virtual std::unique_ptr<ExcelRange> UsedRange() = 0;
  virtual std::string Name() = 0;
  // The cell comments, by row then column.
  virtual long CommentCount() = 0;
  // A comment's text as a range of one cell (index 1-based): Characters and
  // Text as a text cell's.
  virtual std::unique_ptr<ExcelRange> Comment(long index) = 0;
};

class ExcelWorkbook {
 public:
  virtual ~ExcelWorkbook() = default;
  virtual long WorksheetCount() = 0;
  // index is 1-based.
  virtual std::unique_ptr<ExcelWorksheet> Worksheet(long index) = 0;
  virtual bool Modified() = 0;
  virtual void SaveCopyAs(const std::string& path) = 0;
  virtual void Close() = 0;
};

class ExcelApplication {
 public:
  virtual ~ExcelApplication() = default;
  virtual std::unique_ptr<ExcelWorkbook> Open(const std::string& path, Message* whyNot) = 0;
  virtual void Quit() = 0;
};

// ---- Presentation program ------------------------------------------------

class PowerPointTextRange {
 public:
  virtual ~PowerPointTextRange() = default;
  virtual std::string Text() = 0;
  // The sub-range [start, start + length) (start 1-based), clamped to this
  // range.
  virtual std::unique_ptr<PowerPointTextRange> Characters(long start, long length) = 0;
  // Removes the range's characters; the range is left empty at its start.
  virtual void Cut() = 0;
  // Inserts at the range's end and extends the range over the insertion.
  virtual void InsertAfter(std::string_view text) = 0;
  // The number of characters of the shape's text before the range.
  virtual long Start() = 0;
  virtual long Length() = 0;
  // As WordRange::Lock.
  virtual EditLock Lock() = 0;
};

class PowerPointTextFrame {
 public:
  virtual ~PowerPointTextFrame() = default;
  virtual bool HasText() = 0;
  virtual std::unique_ptr<PowerPointTextRange> TextRange() = 0;
};

class PowerPointShape {
 public:
  virtual ~PowerPointShape() = default;
  virtual bool HasTextFrame() = 0;
  virtual std::unique_ptr<PowerPointTextFrame> TextFrame() = 0;
};

class PowerPointSlide {
 public:
  virtual ~PowerPointSlide() = default;
  virtual long ShapeCount() = 0;
  // index is 1-based.
  virtual std::unique_ptr<PowerPointShape> Shape(long index) = 0;
  // The slide's notes page as a slide whose shapes are its notes texts
  // alone (not the slide image, number, date, header or footer).
  virtual std::unique_ptr<PowerPointSlide> NotesPage() = 0;
};

class PowerPointPresentation {
 public:
  virtual ~PowerPointPresentation() = default;
  virtual long SlideCount() = 0;
  // index is 1-based.
  virtual std::unique_ptr<PowerPointSlide> Slide(long index) = 0;
  virtual bool Modified() = 0;
  virtual void SaveCopyAs(const std::string& path) = 0;
  virtual void Close() = 0;
};

class PowerPointApplication {
 public:
  virtual ~PowerPointApplication() = default;
  virtual std::unique_ptr<PowerPointPresentation> Open(const std::string& path,
                                                       Message* whyNot) = 0;
  virtual void Quit() = 0;
};

// ---- The suite -----------------------------------------------------------

// Starts application instances. Each Start gives a new instance, or null when
// the application cannot be started (reason in *whyNot).
class OfficeBridge;
class FileRewriter;

class OfficeSuite {
 public:
  virtual ~OfficeSuite() = default;
  // A suite that runs whole document sessions inside the application's own
  // process gives the bridge to them (the suite's until EndRun; documents
  // saved through rewriter). Null when it cannot: the documents are then
  // worked through the applications below.
  virtual OfficeBridge* DocumentBridge(FileRewriter& rewriter) {
    (void)rewriter;
    return nullptr;
  }
  virtual std::unique_ptr<WordApplication> StartWord(Message* whyNot) = 0;
  virtual std::unique_ptr<ExcelApplication> StartExcel(Message* whyNot) = 0;
  virtual std::unique_ptr<PowerPointApplication> StartPowerPoint(Message* whyNot) = 0;
  // Called after the applications of a run have quit: whatever they shared
  // (a process, a connection) is ended too.
  virtual void EndRun() {}
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_OFFICE_MODEL_H_

#include "memory_office.h"

#include <algorithm>
#include <cstdio>

namespace strbatch {
namespace {

size_t CodePointLength(unsigned char lead) {
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

std::string Join(const MemoryText& text, size_t from, size_t to) {
  std::string joined;
  for (size_t i = from; i < to; i++) joined += text[i].text;
  return joined;
}

// The first lock of [from, to): of a character, or of an anchor inside.
EditLock LockOf(const MemoryText& text, size_t from, size_t to) {
  for (size_t i = from; i < to; i++) {
    if (text[i].lock != EditLock::kNone) return text[i].lock;
    if (i > from && text[i].anchorBefore) return EditLock::kObject;
  }
  return EditLock::kNone;
}

// Removes [from, to); an anchor before the first removed character stays at
// that place.
void EraseText(MemoryText& text, size_t from, size_t to) {
  const bool anchor = from < to && text[from].anchorBefore;
  text.erase(text.begin() + static_cast<long>(from), text.begin() + static_cast<long>(to));
  if (anchor && from < text.size()) text[from].anchorBefore = true;
}

// Inserts utf8 at position at and gives the number of characters inserted.
// With wordBreaks, CR LF, LF and CR BEL become one paragraph mark, as the
// word processor makes of them.
long InsertText(MemoryText& text, size_t at, std::string_view utf8, bool wordBreaks) {
  MemoryText inserted = SplitMemoryText(utf8);
  if (wordBreaks) {
    MemoryText merged;
    for (size_t i = 0; i < inserted.size(); i++) {
      std::string piece = inserted[i].text;
      if (piece == "\r\a" || piece == "\n") piece = "\r";
      if (piece == "\r" && i + 1 < inserted.size() && inserted[i + 1].text == "\n") i++;
      merged.push_back({piece});
    }
    inserted.swap(merged);
  }
  text.insert(text.begin() + static_cast<long>(at), inserted.begin(), inserted.end());
  return static_cast<long>(inserted.size());
}

void WriteCopy(const std::string& path, const std::string& content) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw AutomationError(path + ": cannot be written");
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
  if (std::fclose(file) != 0 || !written) throw AutomationError(path + ": cannot be written");
}

// What every document object shares: the suite for call accounting and the
// document's state, which refuses calls after Close.
class MemoryObject {
 protected:
  MemoryObject(MemoryOffice& office, std::shared_ptr<MemoryDocumentState> state)
      : office_(office), state_(std::move(state)) {}
  void Touch(const std::string& call) {
    office_.Touch(call);
    if (!state_->open) throw AutomationError(call + ": the document is closed");
  }
  void Save(const std::string& call, const std::string& path, const std::string& content) {
    Touch(call);
    if (state_->failSave) throw AutomationError(path + ": cannot be saved");
    WriteCopy(path, content);
    state_->saves++;
  }
  void CloseDocument(const std::string& call) {
    Touch(call);
    state_->open = false;
  }
  bool IsModified(const std::string& call) {
    Touch(call);
    return state_->modified;
  }
  // The 0-based position of a collection's item, its 1-based index checked
  // against the collection's size.
  size_t ItemAt(const std::string& collection, long index, size_t size) {
    Touch(collection + ".Item " + std::to_string(index));
    if (index < 1 || index > static_cast<long>(size)) {
      throw AutomationError(collection + ".Item: index out of range");
    }
    return static_cast<size_t>(index - 1);
  }
  MemoryOffice& office_;
  std::shared_ptr<MemoryDocumentState> state_;
};

// ---- Word ----

class MemoryWordRange : public WordRange, MemoryObject {
 public:
  MemoryWordRange(MemoryOffice& office, std::shared_ptr<MemoryWordData> data, MemoryText& text,
                  long start, long end)
      : MemoryObject(office, data), data_(std::move(data)), text_(&text), start_(start),
        end_(end) {}
  long Start() override {
    Touch("Range.Start");
    return start_;
  }
  long End() override {
    Touch("Range.End");
    return end_;
  }
  void SetRange(long start, long end) override {
    Touch("Range.SetRange " + std::to_string(start) + " " + std::to_string(end));
    const long size = static_cast<long>((*text_).size());
    start_ = std::clamp(start, 0L, size);
    end_ = std::clamp(end, start_, size);
  }
  std::string Text() override {
    Touch("Range.Text");
    return Join((*text_), Clamped(start_), Clamped(end_));
  }
  void Cut() override {
    Touch("Range.Cut");
    EraseText((*text_), Clamped(start_), Clamped(end_));
    end_ = start_;
    data_->modified = true;
  }
  void InsertAfter(std::string_view text) override {
    Touch("Range.InsertAfter");
    end_ = static_cast<long>(Clamped(end_)) + InsertText((*text_), Clamped(end_), text, true);
    data_->modified = true;
  }
  EditLock Lock() override {
    Touch("Range.Lock");
    return LockOf((*text_), Clamped(start_), Clamped(end_));
  }

 private:
  size_t Clamped(long position) const {
    return static_cast<size_t>(std::clamp(position, 0L, static_cast<long>((*text_).size())));
  }
  std::shared_ptr<MemoryWordData> data_;
  MemoryText* text_;
  long start_, end_;
};

class MemoryWordCharacters : public WordCharacters, MemoryObject {
 public:
  MemoryWordCharacters(MemoryOffice& office, std::shared_ptr<MemoryWordData> data,
                       MemoryText& text)
      : MemoryObject(office, data), data_(std::move(data)), text_(&text) {}
  long Count() override {
    Touch("Characters.Count");
    return static_cast<long>((*text_).size());
  }
  std::unique_ptr<WordRange> Item(long index) override {
    const long at = static_cast<long>(ItemAt("Characters", index, (*text_).size()));
    return std::make_unique<MemoryWordRange>(office_, data_, *text_, at, at + 1);
  }

 private:
  std::shared_ptr<MemoryWordData> data_;
  MemoryText* text_;
};

class MemoryWordDocument : public WordDocument, MemoryObject {
 public:
  MemoryWordDocument(MemoryOffice& office, std::shared_ptr<MemoryWordData> data)
      : MemoryObject(office, data), data_(std::move(data)) {}
  std::unique_ptr<WordCharacters> Characters() override {
    Touch("Document.Characters");
    return std::make_unique<MemoryWordCharacters>(office_, data_, data_->text);
  }
  std::unique_ptr<WordCharacters> StoryCharacters(OfficeStory story) override {
    Touch("Document.StoryCharacters");
    return std::make_unique<MemoryWordCharacters>(office_, data_, data_->stories[story]);
  }
  bool Modified() override { return IsModified("Document.Modified"); }
  void SaveCopyAs(const std::string& path) override {
    Save("Document.SaveCopyAs", path, JoinMemoryText(data_->text));
  }
  void Close() override { CloseDocument("Document.Close"); }

 private:
  std::shared_ptr<MemoryWordData> data_;
};

// ---- Excel ----

class MemoryExcelCharacters : public ExcelCharacters, MemoryObject {
 public:
  MemoryExcelCharacters(MemoryOffice& office, std::shared_ptr<MemoryWorkbookData> data,
                        MemoryCell& cell, long start, long length)
      : MemoryObject(office, data), data_(std::move(data)), cell_(cell), start_(start),
        length_(length) {}
  std::string Text() override {
    Touch("Characters.Text");
    return Join(cell_.text, From(), To());
  }
  long Count() override {
    Touch("Characters.Count");
    return static_cast<long>(To() - From());
  }
  void Delete() override {
    Touch("Characters.Delete");
    EraseText(cell_.text, From(), To());
    data_->modified = true;
  }
  void Insert(std::string_view text) override {
    Touch("Characters.Insert");
    InsertText(cell_.text, From(), text, false);
    data_->modified = true;
  }
  EditLock Lock() override {
    Touch("Characters.Lock");
    if (!cell_.textCell) return EditLock::kComputed;
    return LockOf(cell_.text, From(), To());
  }

 private:
  size_t From() const {
    return std::min(static_cast<size_t>(std::max(start_, 0L)), cell_.text.size());
  }
  size_t To() const {
    if (length_ < 0) return cell_.text.size();
    return std::min(From() + static_cast<size_t>(length_), cell_.text.size());
  }
  std::shared_ptr<MemoryWorkbookData> data_;
  MemoryCell& cell_;
  long start_;
  long length_;  // -1: to the end
};

class MemoryExcelRange : public ExcelRange, MemoryObject {
 public:
  // The used range of a worksheet (cell null) or one cell.
  MemoryExcelRange(MemoryOffice& office, std::shared_ptr<MemoryWorkbookData> data, size_t sheet,
                   MemoryCell* cell)
      : MemoryObject(office, data), data_(std::move(data)), sheet_(sheet), cell_(cell) {}
  long RowCount() override {
    Touch("Range.Rows.Count");
    return cell_ ? 1 : static_cast<long>(Rows().size());
  }
  long ColumnCount() override {
    Touch("Range.Columns.Count");
    if (cell_) return 1;
    return Rows().empty() ? 0 : static_cast<long>(Rows()[0].size());
  }
  std::unique_ptr<ExcelRange> Item(long row, long column) override {
    Touch("Range.Item " + std::to_string(row) + " " + std::to_string(column));
    if (cell_ || row < 1 || column < 1 || row > static_cast<long>(Rows().size()) ||
        column > static_cast<long>(Rows()[row - 1].size())) {
      throw AutomationError("Range.Item: outside the range");
    }
    return std::make_unique<MemoryExcelRange>(office_, data_, sheet_,
                                              &Rows()[row - 1][column - 1]);
  }
  std::unique_ptr<ExcelCharacters> Characters() override { return MakeCharacters(0, -1); }
  std::unique_ptr<ExcelCharacters> Characters(long start, long length) override {
    return MakeCharacters(start - 1, std::max(length, 0L));
  }
  std::string Text() override {
    Touch("Range.Text");
    if (!cell_) throw AutomationError("Range.Text: not a cell");
    return cell_->displayed.empty() ? JoinMemoryText(cell_->text) : cell_->displayed;
  }

 private:
  std::vector<std::vector<MemoryCell>>& Rows() { return data_->sheets.at(sheet_); }
  std::unique_ptr<ExcelCharacters> MakeCharacters(long start, long length) {
    Touch("Range.Characters");
    if (!cell_) throw AutomationError("Range.Characters: not a cell");
    if (cell_->charactersFail) throw AutomationError("Range.Characters: refused");
    return std::make_unique<MemoryExcelCharacters>(office_, data_, *cell_, start, length);
  }
  std::shared_ptr<MemoryWorkbookData> data_;
  size_t sheet_;
  MemoryCell* cell_;
};

class MemoryWorksheet : public ExcelWorksheet, MemoryObject {
 public:
  MemoryWorksheet(MemoryOffice& office, std::shared_ptr<MemoryWorkbookData> data, size_t sheet)
      : MemoryObject(office, data), data_(std::move(data)), sheet_(sheet) {}
  void Activate() override { Touch("Worksheet.Activate " + std::to_string(sheet_ + 1)); }
  std::unique_ptr<ExcelRange> UsedRange() override {
    Touch("Worksheet.UsedRange");
    return std::make_unique<MemoryExcelRange>(office_, data_, sheet_, nullptr);
  }
  std::string Name() override {
    Touch("Worksheet.Name");
    return sheet_ < data_->names.size() ? data_->names[sheet_] : "Sheet" + std::to_string(sheet_ + 1);
  }
  long CommentCount() override {
    Touch("Worksheet.Comments.Count");
    return static_cast<long>(Comments().size());
  }
  std::unique_ptr<ExcelRange> Comment(long index) override {
    return std::make_unique<MemoryExcelRange>(
        office_, data_, sheet_, &Comments()[ItemAt("Comments", index, Comments().size())]);
  }

 private:
  std::vector<MemoryCell>& Comments() {
    if (data_->comments.size() <= sheet_) data_->comments.resize(sheet_ + 1);
    return data_->comments[sheet_];
  }
  std::shared_ptr<MemoryWorkbookData> data_;
  size_t sheet_;
};

class MemoryWorkbook : public ExcelWorkbook, MemoryObject {
 public:
  MemoryWorkbook(MemoryOffice& office, std::shared_ptr<MemoryWorkbookData> data)
      : MemoryObject(office, data), data_(std::move(data)) {}
  long WorksheetCount() override {
    Touch("Worksheets.Count");
    return static_cast<long>(data_->sheets.size());
  }
  std::unique_ptr<ExcelWorksheet> Worksheet(long index) override {
    return std::make_unique<MemoryWorksheet>(office_, data_,
                                             ItemAt("Worksheets", index, data_->sheets.size()));
  }
  bool Modified() override { return IsModified("Workbook.Modified"); }
  void SaveCopyAs(const std::string& path) override {
    std::string content;
    for (const auto& sheet : data_->sheets) {
      for (const auto& row : sheet) {
        for (const MemoryCell& cell : row) content += JoinMemoryText(cell.text) + "\t";
        content += "\n";
      }
    }
    Save("Workbook.SaveCopyAs", path, content);
  }
  void Close() override { CloseDocument("Workbook.Close"); }

 private:
  std::shared_ptr<MemoryWorkbookData> data_;
};

// ---- PowerPoint ----

class MemoryTextRange : public PowerPointTextRange, MemoryObject {
 public:
  MemoryTextRange(MemoryOffice& office, std::shared_ptr<MemoryPresentationData> data,
                  MemoryShape& shape, size_t start, size_t length)
      : MemoryObject(office, data), data_(std::move(data)), shape_(shape), start_(start),
        length_(length) {}
  std::string Text() override {
    Touch("TextRange.Text");
    return Join(shape_.text, From(), To());
  }
  std::unique_ptr<PowerPointTextRange> Characters(long start, long length) override {
    Touch("TextRange.Characters " + std::to_string(start) + " " + std::to_string(length));
    const size_t from = std::min(From() + static_cast<size_t>(std::max(start - 1, 0L)), To());
    const size_t to = std::min(from + static_cast<size_t>(std::max(length, 0L)), To());
    return std::make_unique<MemoryTextRange>(office_, data_, shape_, from, to - from);
  }
  void Cut() override {
    Touch("TextRange.Cut");
    EraseText(shape_.text, From(), To());
    length_ = 0;
    data_->modified = true;
  }
  void InsertAfter(std::string_view text) override {
    Touch("TextRange.InsertAfter");
    const size_t at = To();
    length_ = at - From() + static_cast<size_t>(InsertText(shape_.text, at, text, false));
    data_->modified = true;
  }
  long Start() override {
    Touch("TextRange.Start");
    return static_cast<long>(From());
  }
  long Length() override {
    Touch("TextRange.Length");
    return static_cast<long>(To() - From());
  }
  EditLock Lock() override {
    Touch("TextRange.Lock");
    return LockOf(shape_.text, From(), To());
  }

 private:
  size_t From() const { return std::min(start_, shape_.text.size()); }
  size_t To() const { return std::min(start_ + length_, shape_.text.size()); }
  std::shared_ptr<MemoryPresentationData> data_;
  MemoryShape& shape_;
  size_t start_;
  size_t length_;
};

class MemoryTextFrame : public PowerPointTextFrame, MemoryObject {
 public:
  MemoryTextFrame(MemoryOffice& office, std::shared_ptr<MemoryPresentationData> data,
                  MemoryShape& shape)
      : MemoryObject(office, data), data_(std::move(data)), shape_(shape) {}
  bool HasText() override {
    Touch("TextFrame.HasText");
    return !shape_.text.empty();
  }
  std::unique_ptr<PowerPointTextRange> TextRange() override {
    Touch("TextFrame.TextRange");
    return std::make_unique<MemoryTextRange>(office_, data_, shape_, 0, shape_.text.size());
  }

 private:
  std::shared_ptr<MemoryPresentationData> data_;
  MemoryShape& shape_;
};

class MemoryPowerPointShape : public PowerPointShape, MemoryObject {
 public:
  MemoryPowerPointShape(MemoryOffice& office, std::shared_ptr<MemoryPresentationData> data,
                        MemoryShape& shape)
      : MemoryObject(office, data), data_(std::move(data)), shape_(shape) {}
  bool HasTextFrame() override {
    Touch("Shape.HasTextFrame");
    return shape_.hasTextFrame;
  }
  std::unique_ptr<PowerPointTextFrame> TextFrame() override {
    Touch("Shape.TextFrame");
    if (!shape_.hasTextFrame) throw AutomationError("Shape.TextFrame: no text frame");
    return std::make_unique<MemoryTextFrame>(office_, data_, shape_);
  }

 private:
  std::shared_ptr<MemoryPresentationData> data_;
  MemoryShape& shape_;
};

class MemorySlide : public PowerPointSlide, MemoryObject {
 public:
  // The slide's shapes, or the texts of its notes page.
  MemorySlide(MemoryOffice& office, std::shared_ptr<MemoryPresentationData> data, size_t slide,
              bool notes = false)
      : MemoryObject(office, data), data_(std::move(data)), slide_(slide), notes_(notes) {}
  long ShapeCount() override {
    Touch("Shapes.Count");
    return static_cast<long>(Shapes().size());
  }
  std::unique_ptr<PowerPointShape> Shape(long index) override {
    auto& shapes = Shapes();
    return std::make_unique<MemoryPowerPointShape>(office_, data_,
                                                   shapes[ItemAt("Shapes", index, shapes.size())]);
  }
  std::unique_ptr<PowerPointSlide> NotesPage() override {
    Touch("Slide.NotesPage");
    return std::make_unique<MemorySlide>(office_, data_, slide_, true);
  }

 private:
  std::vector<MemoryShape>& Shapes() {
    if (!notes_) return data_->slides.at(slide_);
    if (data_->notes.size() <= slide_) data_->notes.resize(slide_ + 1);
    return data_->notes[slide_];
  }
  std::shared_ptr<MemoryPresentationData> data_;
  size_t slide_;
  bool notes_;
};

class MemoryPresentation : public PowerPointPresentation, MemoryObject {
 public:
  MemoryPresentation(MemoryOffice& office, std::shared_ptr<MemoryPresentationData> data)
      : MemoryObject(office, data), data_(std::move(data)) {}
  long SlideCount() override {
    Touch("Slides.Count");
    return static_cast<long>(data_->slides.size());
  }
  std::unique_ptr<PowerPointSlide> Slide(long index) override {
    return std::make_unique<MemorySlide>(office_, data_,
                                         ItemAt("Slides", index, data_->slides.size()));
  }
  bool Modified() override { return IsModified("Presentation.Modified"); }
  void SaveCopyAs(const std::string& path) override {
    std::string content;
    for (const auto& slide : data_->slides) {
      for (const MemoryShape& shape : slide) content += JoinMemoryText(shape.text) + "\n";
    }
    Save("Presentation.SaveCopyAs", path, content);
  }
  void Close() override { CloseDocument("Presentation.Close"); }

 private:
  std::shared_ptr<MemoryPresentationData> data_;
};

// ---- Applications ----

template <class Interface, class Data, class Document>
class MemoryApplication : public Interface {
 public:
  using Found = std::function<std::shared_ptr<Data>(const std::string&)>;
  MemoryApplication(MemoryOffice& office, const char* name, Found find, int& quits)
      : office_(office), name_(name), find_(std::move(find)), quits_(quits) {}
  decltype(std::declval<Interface&>().Open("", nullptr)) Open(const std::string& path,
                                                             Message*) override {
    office_.Touch(std::string(name_) + ".Open " + path);
    std::shared_ptr<Data> data = find_(path);
    if (!data) throw AutomationError(path + ": cannot be opened");
    data->open = true;
    data->modified = false;
    return std::make_unique<Document>(office_, data);
  }
  void Quit() override {
    office_.Touch(std::string(name_) + ".Quit");
    quits_++;
  }

 private:
  MemoryOffice& office_;
  const char* name_;
  Found find_;
  int& quits_;
};

template <class Map>
typename Map::mapped_type Find(Map& map, const std::string& path) {
  auto it = map.find(path);
  return it == map.end() ? nullptr : it->second;
}

}  // namespace

MemoryText SplitMemoryText(std::string_view utf8) {
  MemoryText text;
  for (size_t i = 0; i < utf8.size();) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\a') {
      text.push_back({"\r\a", EditLock::kStructure});
      i += 2;
      continue;
    }
    const size_t length =
        std::min(CodePointLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    text.push_back({std::string(utf8.substr(i, length))});
    i += length;
  }
  return text;
}

std::string JoinMemoryText(const MemoryText& text) { return Join(text, 0, text.size()); }

void MemoryWorkbookData::AddSheet(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::vector<MemoryCell>> sheet;
  for (const auto& row : rows) {
    std::vector<MemoryCell> cells;
    for (const std::string& text : row) cells.push_back({SplitMemoryText(text), "", true, false});
    sheet.push_back(std::move(cells));
  }
  sheets.push_back(std::move(sheet));
}

MemoryWordData& MemoryOffice::AddWordDocument(const std::string& path, std::string_view text) {
  auto data = std::make_shared<MemoryWordData>();
  data->text = SplitMemoryText(text);
  words_[path] = data;
  return *data;
}

MemoryWorkbookData& MemoryOffice::AddWorkbook(const std::string& path) {
  auto data = std::make_shared<MemoryWorkbookData>();
  workbooks_[path] = data;
  return *data;
}

MemoryPresentationData& MemoryOffice::AddPresentation(const std::string& path) {
  auto data = std::make_shared<MemoryPresentationData>();
  presentations_[path] = data;
  return *data;
}

void MemoryOffice::Touch(const std::string& call) {
  if (logCalls) calls.push_back(call);
  if (onCall) onCall(call);
}

std::unique_ptr<WordApplication> MemoryOffice::StartWord(Message* whyNot) {
  wordStarts++;
  if (wordMissing) {
    *whyNot = LibraryText("no word processor");
    return nullptr;
  }
  return std::make_unique<MemoryApplication<WordApplication, MemoryWordData, MemoryWordDocument>>(
      *this, "Word", [this](const std::string& path) { return Find(words_, path); }, wordQuits);
}

std::unique_ptr<ExcelApplication> MemoryOffice::StartExcel(Message* whyNot) {
  excelStarts++;
  if (excelMissing) {
    *whyNot = LibraryText("no spreadsheet");
    return nullptr;
  }
  return std::make_unique<MemoryApplication<ExcelApplication, MemoryWorkbookData, MemoryWorkbook>>(
      *this, "Excel", [this](const std::string& path) { return Find(workbooks_, path); },
      excelQuits);
}

std::unique_ptr<PowerPointApplication> MemoryOffice::StartPowerPoint(Message* whyNot) {
  powerPointStarts++;
  if (powerPointMissing) {
    *whyNot = LibraryText("no presentation program");
    return nullptr;
  }
  return std::make_unique<
      MemoryApplication<PowerPointApplication, MemoryPresentationData, MemoryPresentation>>(
      *this, "PowerPoint",
      [this](const std::string& path) { return Find(presentations_, path); }, powerPointQuits);
}

}  // namespace strbatch

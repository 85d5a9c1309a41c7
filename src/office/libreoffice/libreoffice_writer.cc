// Word documents in Writer. The characters are those of the body text:
// each paragraph's characters then its paragraph mark (CR); inside a table,
// each cell's paragraphs, the last one ending in a cell mark (CR BEL). A
// paragraph mark that cannot be removed (the last of the body, one before a
// table) and cell marks are locked, and so is every character of a
// protected section or of a document that records changes. Edits are kept
// in the mirror and written when the document is saved.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextSection.hpp>
#include <com/sun/star/text/XTextSectionsSupplier.hpp>
#include <com/sun/star/text/XTextTable.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XReferenceMarksSupplier.hpp>
#include <com/sun/star/text/XDocumentIndexesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/document/XRedlinesSupplier.hpp>
#include <com/sun/star/container/XElementAccess.hpp>

#include <algorithm>
#include <vector>

#include "libreoffice_suite.h"
#include "text_mirror.h"

namespace strbatch::uno {
namespace {

constexpr DocumentKind kWriter{"a Word", "com.sun.star.text.TextDocument",
                               "MS Word|Office Open XML Text|Rich Text Format|writer8"};
constexpr TextMirror::Style kWriterStyle{"\r", "\v", false, true};

// The cursor steps a portion other than text takes (a field, a footnote
// anchor, an object anchored as a character: usually one; a bookmark or a
// change mark: none). -1 when it cannot be told.
int MeasureSteps(const Reference<css::text::XText>& text,
                 const Reference<css::text::XTextRangeCompare>& compare,
                 const Reference<css::text::XTextRange>& portion) {
  Reference<css::text::XTextRange> end = portion->getEnd();
  if (compare->compareRegionStarts(portion, end) == 0) return 0;
  Reference<css::text::XTextCursor> cursor = text->createTextCursorByRange(portion->getStart());
  for (int steps = 1; steps <= 16; steps++) {
    if (!cursor->goRight(1, false)) return -1;
    if (compare->compareRegionStarts(cursor.get(), end) == 0) return steps;
  }
  return -1;
}

class WriterText {
 public:
  WriterText(const Reference<css::text::XTextDocument>& document, std::shared_ptr<bool> edited,
             bool readOnly)
      : document_(document), mirror_(kWriterStyle, std::move(edited)), readOnly_(readOnly) {
    mirror_.SetSplitter(&TextPortions);
  }

  TextMirror& Mirror() {
    if (!built_ || mirror_.Stale()) Build();
    return mirror_;
  }

  void Flush() {
    if (built_) Call("writing the edits", [&] { mirror_.Flush(); });
  }

 private:
  void Build() {
    Call("reading the text", [&] {
      mirror_.Clear();
      ReadProtectedSections();
      textOnly_ = TextOnly();
      AppendText(document_->getText(), false);
      // With changes being recorded, a deleted text stays in the document
      // as a tracked change; edits would no longer match the mirror.
      Reference<css::beans::XPropertySet> properties(document_, UNO_QUERY);
      bool recording = false;
      if (properties.is()) properties->getPropertyValue("RecordChanges") >>= recording;
      if (recording || readOnly_) mirror_.LockAll(EditLock::kProtected);
    });
    built_ = true;
  }

  void AppendText(const Reference<css::text::XText>& text, bool inCell) {
    Reference<css::text::XTextRangeCompare> compare;
    if (!textOnly_) compare.set(text, UNO_QUERY);
    Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY_THROW);
    Reference<css::container::XEnumeration> elements = access->createEnumeration();
    struct Element {
      Reference<css::uno::XInterface> object;
      bool paragraph;
      bool table;
    };
    std::vector<Element> list;
    while (elements->hasMoreElements()) {
      Reference<css::lang::XServiceInfo> info(elements->nextElement(), UNO_QUERY_THROW);
      const bool paragraph = info->supportsService("com.sun.star.text.Paragraph");
      list.push_back({info, paragraph,
                      !paragraph && info->supportsService("com.sun.star.text.TextTable")});
    }
    // Which paragraphs lie in a protected section: their characters, and
    // the marks that would join them with a neighbour, are locked.
    std::vector<bool> locked(list.size() + 1, false);
    for (size_t i = 0; protectedSections_ && i < list.size(); i++) {
      if (list[i].paragraph) {
        locked[i] = InProtectedSection(Reference<css::text::XTextRange>(list[i].object, UNO_QUERY_THROW));
      }
    }
    for (size_t i = 0; i < list.size(); i++) {
      if (list[i].table) {
        AppendTable(Reference<css::text::XTextTable>(list[i].object, UNO_QUERY_THROW));
        continue;
      }
      if (!list[i].paragraph) continue;
      Reference<css::text::XTextRange> paragraph(list[i].object, UNO_QUERY_THROW);
      const uint32_t p = mirror_.AddEntry(text, paragraph);
      if (textOnly_) {
        mirror_.AddWholeParagraph(p, paragraph->getString());
      } else {
        AppendPortions(p, text, compare, paragraph);
      }
      const bool last = i + 1 == list.size();
      if (last && inCell) {
        mirror_.AddBreak(p, CharKind::CellMark, EditLock::kStructure);
      } else {
        // A mark is removed by joining its paragraph with the next; that is
        // only sound when the next element is a paragraph of the same text.
        mirror_.AddBreak(p, CharKind::ParagraphBreak,
                         locked[i] || locked[i + 1]         ? EditLock::kProtected
                         : !last && list[i + 1].paragraph ? EditLock::kNone
                                                          : EditLock::kStructure);
      }
      if (locked[i]) mirror_.LockEntry(p, EditLock::kProtected);
    }
  }

  void AppendPortions(uint32_t p, const Reference<css::text::XText>& text,
                      const Reference<css::text::XTextRangeCompare>& compare,
                      const Reference<css::text::XTextRange>& paragraph) {
    const PortionsRead read = MirrorPortions(
        mirror_, p, Reference<css::container::XEnumerationAccess>(paragraph, UNO_QUERY_THROW),
        EditLock::kNone,
        [&](const Reference<css::text::XTextRange>& portion) {
          return compare.is() ? MeasureSteps(text, compare, portion) : -1;
        },
        false);
    // Text alone takes one step per code point. Otherwise exactly as many
    // steps as counted must take a cursor from the paragraph's start to its
    // end, or its characters are not addressable and stay as they are.
    if (!read.objects) return;
    bool aligned = read.measured && compare.is();
    if (aligned) {
      Reference<css::text::XTextCursor> cursor = text->createTextCursorByRange(paragraph);
      cursor->collapseToStart();
      aligned = GoRight(cursor, mirror_.EntrySteps(p), false) &&
                compare->compareRegionStarts(cursor.get(), paragraph->getEnd()) == 0;
    }
    if (!aligned) mirror_.LockEntry(p, EditLock::kObject);
  }

  void AppendTable(const Reference<css::text::XTextTable>& table) {
    for (const rtl::OUString& name : table->getCellNames()) {
      Reference<css::text::XText> cell(table->getCellByName(name), UNO_QUERY_THROW);
      AppendText(cell, true);
    }
  }

  // Whether the document holds text alone: no field, note, bookmark, mark,
  // frame, image, object, shape, index or tracked change. Its paragraphs
  // are then read whole, in one call each, and a paragraph's portions only
  // when it is about to be edited.
  bool TextOnly() const {
    const auto empty = [](const Reference<css::uno::XInterface>& items) {
      Reference<css::container::XIndexAccess> indexed(items, UNO_QUERY);
      if (indexed.is()) return indexed->getCount() == 0;
      Reference<css::container::XElementAccess> elements(items, UNO_QUERY);
      return elements.is() && !elements->hasElements();
    };
    Reference<css::text::XTextFieldsSupplier> fields(document_, UNO_QUERY);
    Reference<css::text::XFootnotesSupplier> footnotes(document_, UNO_QUERY);
    Reference<css::text::XEndnotesSupplier> endnotes(document_, UNO_QUERY);
    Reference<css::text::XBookmarksSupplier> bookmarks(document_, UNO_QUERY);
    Reference<css::text::XReferenceMarksSupplier> marks(document_, UNO_QUERY);
    Reference<css::text::XDocumentIndexesSupplier> indexes(document_, UNO_QUERY);
    Reference<css::drawing::XDrawPageSupplier> page(document_, UNO_QUERY);
    Reference<css::document::XRedlinesSupplier> changes(document_, UNO_QUERY);
    if (!fields.is() || !footnotes.is() || !endnotes.is() || !bookmarks.is() || !marks.is() ||
        !indexes.is() || !page.is() || !changes.is()) {
      return false;
    }
    // Frames, images and embedded objects are on the draw page too. Writer
    // has that one page, through the one interface (deprecated for the
    // applications with several).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const Reference<css::uno::XInterface> shapes = page->getDrawPage();
#pragma GCC diagnostic pop
    return !fields->getTextFields()->createEnumeration()->hasMoreElements() &&
           empty(footnotes->getFootnotes()) && empty(endnotes->getEndnotes()) &&
           empty(bookmarks->getBookmarks()) && empty(marks->getReferenceMarks()) &&
           empty(indexes->getDocumentIndexes()) && empty(shapes) &&
           !changes->getRedlines()->createEnumeration()->hasMoreElements();
  }

  // The text portions of a paragraph read whole; false when it holds
  // anything but text.
  static bool TextPortions(const Reference<css::text::XTextRange>& paragraph,
                           TextMirror::PortionList* parts) {
    return Call("reading a paragraph", [&] {
      Reference<css::container::XEnumerationAccess> access(paragraph, UNO_QUERY_THROW);
      Reference<css::container::XEnumeration> portions = access->createEnumeration();
      while (portions->hasMoreElements()) {
        Reference<css::text::XTextRange> portion(portions->nextElement(), UNO_QUERY_THROW);
        rtl::OUString type;
        Reference<css::beans::XPropertySet>(portion, UNO_QUERY_THROW)
                ->getPropertyValue("TextPortionType") >>= type;
        if (type == "Text") {
          parts->emplace_back(portion->getString(), portion);
        } else if (type != "SoftPageBreak") {
          return false;
        }
      }
      return true;
    });
  }

  // Most documents have no protected section; only where one is, each
  // paragraph is asked which section it lies in.
  void ReadProtectedSections() {
    protectedSections_ = false;
    Reference<css::text::XTextSectionsSupplier> supplier(document_, UNO_QUERY);
    if (!supplier.is()) return;
    Reference<css::container::XIndexAccess> sections(supplier->getTextSections(), UNO_QUERY);
    for (sal_Int32 i = 0; sections.is() && i < sections->getCount(); i++) {
      Reference<css::beans::XPropertySet> section(sections->getByIndex(i), UNO_QUERY);
      bool locked = false;
      if (section.is()) section->getPropertyValue("IsProtected") >>= locked;
      protectedSections_ = protectedSections_ || locked;
    }
  }

  bool InProtectedSection(const Reference<css::text::XTextRange>& paragraph) const {
    if (!protectedSections_) return false;
    Reference<css::beans::XPropertySet> properties(paragraph, UNO_QUERY);
    Reference<css::text::XTextSection> section;
    if (properties.is()) properties->getPropertyValue("TextSection") >>= section;
    for (; section.is(); section = section->getParentSection()) {
      bool locked = false;
      Reference<css::beans::XPropertySet>(section, UNO_QUERY_THROW)->getPropertyValue(
          "IsProtected") >>= locked;
      if (locked) return true;
    }
    return false;
  }

  Reference<css::text::XTextDocument> document_;
  TextMirror mirror_;
  bool readOnly_;
  bool textOnly_ = false;
  bool built_ = false;
  bool protectedSections_ = false;
};

class WriterRange : public WordRange {
 public:
  WriterRange(std::shared_ptr<WriterText> text, long start, long end)
      : text_(std::move(text)), start_(start), end_(end) {}
  long Start() override { return start_; }
  long End() override { return end_; }
  void SetRange(long start, long end) override {
    const long size = static_cast<long>(text_->Mirror().Size());
    start_ = std::clamp(start, 0L, size);
    end_ = std::clamp(end, start_, size);
  }
  std::string Text() override {
    return text_->Mirror().Text(static_cast<size_t>(start_), static_cast<size_t>(end_));
  }
  void Cut() override {
    TextMirror& mirror = text_->Mirror();
    if (Lock() != EditLock::kNone) {
      throw AutomationError("LibreOffice: these characters cannot be cut");
    }
    mirror.Delete(static_cast<size_t>(start_), static_cast<size_t>(end_));
    end_ = start_;
  }
  void InsertAfter(std::string_view text) override {
    TextMirror& mirror = text_->Mirror();
    Call("reading a paragraph", [&] {
      mirror.Prepare(static_cast<size_t>(end_), static_cast<size_t>(end_));
    });
    if (mirror.Lock(static_cast<size_t>(end_), static_cast<size_t>(end_)) != EditLock::kNone) {
      throw AutomationError("LibreOffice: no text can be inserted here");
    }
    end_ += static_cast<long>(mirror.Insert(static_cast<size_t>(end_), text));
  }
  EditLock Lock() override {
    TextMirror& mirror = text_->Mirror();
    Call("reading a paragraph", [&] {
      mirror.Prepare(static_cast<size_t>(start_), static_cast<size_t>(end_));
    });
    return mirror.Lock(static_cast<size_t>(start_), static_cast<size_t>(end_));
  }
  EditLock RemovalLock() override {
    const EditLock lock = Lock();
    if (lock != EditLock::kNone) return lock;
    return text_->Mirror().RemovalLock(static_cast<size_t>(start_), static_cast<size_t>(end_));
  }

 private:
  std::shared_ptr<WriterText> text_;
  long start_, end_;
};

class WriterCharacters : public WordCharacters {
 public:
  explicit WriterCharacters(std::shared_ptr<WriterText> text) : text_(std::move(text)) {}
  long Count() override { return static_cast<long>(text_->Mirror().Size()); }
  std::unique_ptr<WordRange> Item(long index) override {
    if (index < 1 || index > Count()) {
      throw AutomationError("LibreOffice: character " + std::to_string(index) +
                            " is outside the document");
    }
    return std::make_unique<WriterRange>(text_, index - 1, index);
  }

 private:
  std::shared_ptr<WriterText> text_;
};

class WriterDocument : public SuiteDocument<WordDocument> {
 public:
  explicit WriterDocument(std::unique_ptr<LoadedDocument> loaded)
      : SuiteDocument(std::move(loaded)),
        text_(std::make_shared<WriterText>(
            Reference<css::text::XTextDocument>(loaded_->Model(), UNO_QUERY_THROW),
            loaded_->Edited(), loaded_->ReadOnly())) {}
  std::unique_ptr<WordCharacters> Characters() override {
    return std::make_unique<WriterCharacters>(text_);
  }

 protected:
  void FlushEdits() override { text_->Flush(); }

 private:
  std::shared_ptr<WriterText> text_;
};

}  // namespace

std::unique_ptr<WordApplication> LibreOfficeSuite::StartWord(std::string* whyNot) {
  return Start<WordApplication, WriterDocument>(kWriter, whyNot);
}

}  // namespace strbatch::uno

// Word documents in Writer. The characters are those of the body text:
// each paragraph's characters then its paragraph mark (CR); inside a table,
// each cell's paragraphs, the last one ending in a cell mark (CR BEL). A
// paragraph mark that cannot be removed (the last of the body, one before a
// table) and cell marks are locked, and so is every character of a
// protected section or of a document that records changes. Edits are kept
// in the mirror and written when the document is saved. Each further story
// (headers and footers, notes, comments, frames) has a mirror of its own,
// its texts one after another, each read as the body is.
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
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

#include "office/office_bridge.h"

#include "libreoffice_suite.h"
#include "text_mirror.h"

namespace strbatch::uno {
namespace {

constexpr DocumentKind kWriter{"a Word", "com.sun.star.text.TextDocument",
                               "MS Word|Office Open XML Text|Rich Text Format|writer8"};
constexpr TextMirror::Style kWriterStyle{"\r", "\v", false, true};
// A comment's text is an edit engine's: it steps by UTF-16 units.
constexpr TextMirror::Style kCommentStyle{"\r", "\v", true, true};

using TextList = std::vector<Reference<css::text::XText>>;

// Adds text to texts unless it is there already (a header shared by two
// page styles, a first-page header that is the page's own).
void AddDistinct(TextList& texts, const Reference<css::text::XText>& text) {
  if (!text.is()) return;
  for (const Reference<css::text::XText>& known : texts) {
    if (known == text) return;
  }
  texts.push_back(text);
}

// The headers and footers of the page styles in use, style by style: the
// header, the first-page header and the left-page header where they are
// not shared, then the footers alike.
TextList HeaderFooterTexts(const Reference<css::uno::XInterface>& model) {
  TextList texts;
  Reference<css::style::XStyleFamiliesSupplier> families(model, UNO_QUERY);
  if (!families.is()) return texts;
  Reference<css::container::XIndexAccess> styles(
      families->getStyleFamilies()->getByName("PageStyles"), UNO_QUERY_THROW);
  for (sal_Int32 i = 0; i < styles->getCount(); i++) {
    Reference<css::style::XStyle> style(styles->getByIndex(i), UNO_QUERY_THROW);
    if (!style->isInUse()) continue;
    Reference<css::beans::XPropertySet> properties(style, UNO_QUERY_THROW);
    const auto flag = [&](const char* name) {
      bool value = false;
      properties->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value;
      return value;
    };
    const auto add = [&](const char* name) {
      Reference<css::text::XText> text;
      properties->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= text;
      AddDistinct(texts, text);
    };
    for (const char* which : {"Header", "Footer"}) {
      const std::string kind(which);
      if (!flag((kind + "IsOn").c_str())) continue;
      add((kind + "Text").c_str());
      if (!flag("FirstIsShared")) add((kind + "TextFirst").c_str());
      if (!flag((kind + "IsShared").c_str())) add((kind + "TextLeft").c_str());
    }
  }
  return texts;
}

// The texts of objects in the order of their anchors in the body. Anchors
// the body cannot compare (in a table, a header, a note) leave the objects
// in the order they were given.
TextList InAnchorOrder(const Reference<css::text::XText>& body,
                       std::vector<std::pair<Reference<css::text::XTextRange>,
                                             Reference<css::text::XText>>> objects) {
  Reference<css::text::XTextRangeCompare> compare(body, UNO_QUERY);
  bool comparable = compare.is();
  for (size_t i = 1; comparable && i < objects.size(); i++) {
    try {
      compare->compareRegionStarts(objects[0].first, objects[i].first);
    } catch (const css::lang::IllegalArgumentException&) {
      comparable = false;
    }
  }
  if (comparable) {
    std::stable_sort(objects.begin(), objects.end(), [&](const auto& a, const auto& b) {
      return compare->compareRegionStarts(a.first, b.first) > 0;
    });
  }
  TextList texts;
  for (const auto& object : objects) AddDistinct(texts, object.second);
  return texts;
}

TextList StoryTexts(const Reference<css::text::XTextDocument>& document, OfficeStory story) {
  const auto notes = [](const Reference<css::container::XIndexAccess>& all) {
    TextList texts;
    for (sal_Int32 i = 0; all.is() && i < all->getCount(); i++) {
      AddDistinct(texts, Reference<css::text::XText>(all->getByIndex(i), UNO_QUERY));
    }
    return texts;
  };
  switch (story) {
    case OfficeStory::kHeadersFooters:
      return HeaderFooterTexts(document);
    case OfficeStory::kFootnotes: {
      Reference<css::text::XFootnotesSupplier> supplier(document, UNO_QUERY);
      return supplier.is() ? notes(supplier->getFootnotes()) : TextList();
    }
    case OfficeStory::kEndnotes: {
      Reference<css::text::XEndnotesSupplier> supplier(document, UNO_QUERY);
      return supplier.is() ? notes(supplier->getEndnotes()) : TextList();
    }
    case OfficeStory::kComments: {
      Reference<css::text::XTextFieldsSupplier> supplier(document, UNO_QUERY);
      if (!supplier.is()) return {};
      std::vector<std::pair<Reference<css::text::XTextRange>, Reference<css::text::XText>>> found;
      Reference<css::container::XEnumeration> fields =
          supplier->getTextFields()->createEnumeration();
      while (fields->hasMoreElements()) {
        Reference<css::lang::XServiceInfo> info(fields->nextElement(), UNO_QUERY);
        if (!info.is() || !info->supportsService("com.sun.star.text.textfield.Annotation")) {
          continue;
        }
        Reference<css::text::XText> text;
        Reference<css::beans::XPropertySet>(info, UNO_QUERY_THROW)
                ->getPropertyValue("TextRange") >>= text;
        found.emplace_back(
            Reference<css::text::XTextContent>(info, UNO_QUERY_THROW)->getAnchor(), text);
      }
      return InAnchorOrder(document->getText(), std::move(found));
    }
    case OfficeStory::kTextBoxes: {
      // The body reads no frame's text: every frame and text box is here.
      Reference<css::text::XTextFramesSupplier> supplier(document, UNO_QUERY);
      if (!supplier.is()) return {};
      Reference<css::container::XIndexAccess> frames(supplier->getTextFrames(), UNO_QUERY_THROW);
      std::vector<std::pair<Reference<css::text::XTextRange>, Reference<css::text::XText>>> found;
      for (sal_Int32 i = 0; i < frames->getCount(); i++) {
        Reference<css::text::XTextFrame> frame(frames->getByIndex(i), UNO_QUERY_THROW);
        found.emplace_back(frame->getAnchor(), frame->getText());
      }
      // A drawing's text box is no frame of the list; its shape holds it.
      Reference<css::drawing::XDrawPageSupplier> page(document, UNO_QUERY);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      Reference<css::container::XIndexAccess> shapes(page.is() ? page->getDrawPage() : nullptr,
                                                     UNO_QUERY);
#pragma GCC diagnostic pop
      for (sal_Int32 i = 0; shapes.is() && i < shapes->getCount(); i++) {
        Reference<css::beans::XPropertySet> shape(shapes->getByIndex(i), UNO_QUERY);
        bool textBox = false;
        if (shape.is() && shape->getPropertySetInfo()->hasPropertyByName("TextBox")) {
          shape->getPropertyValue("TextBox") >>= textBox;
        }
        Reference<css::text::XTextContent> content(shape, UNO_QUERY);
        if (textBox && content.is()) {
          found.emplace_back(content->getAnchor(), Reference<css::text::XText>(shape, UNO_QUERY));
        }
      }
      return InAnchorOrder(document->getText(), std::move(found));
    }
    default:
      break;
  }
  return {};
}

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

// The body of a document, or one of its further stories.
class WriterText {
 public:
  WriterText(const Reference<css::text::XTextDocument>& document, std::shared_ptr<bool> edited,
             bool readOnly, std::optional<OfficeStory> story = std::nullopt)
      : document_(document),
        mirror_(story == OfficeStory::kComments ? kCommentStyle : kWriterStyle,
                std::move(edited)),
        readOnly_(readOnly),
        story_(story) {
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
      if (!story_) {
        AppendText(document_->getText(), false);
      } else if (*story_ == OfficeStory::kComments) {
        // Each comment's paragraphs, the last one ended by a mark of its
        // own as in the body.
        for (const Reference<css::text::XText>& text : StoryTexts(document_, *story_)) {
          MirrorEditEngineText(mirror_, text, EditLock::kNone, false);
          mirror_.AddBreak(static_cast<uint32_t>(mirror_.EntryCount() - 1),
                           CharKind::ParagraphBreak, EditLock::kStructure);
        }
      } else {
        for (const Reference<css::text::XText>& text : StoryTexts(document_, *story_)) {
          AppendText(text, false);
        }
      }
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
  std::optional<OfficeStory> story_;
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
  std::unique_ptr<WordCharacters> StoryCharacters(OfficeStory story) override {
    std::shared_ptr<WriterText>& text = stories_[story];
    if (!text) {
      text = std::make_shared<WriterText>(
          Reference<css::text::XTextDocument>(loaded_->Model(), UNO_QUERY_THROW),
          loaded_->Edited(), loaded_->ReadOnly(), story);
    }
    return std::make_unique<WriterCharacters>(text);
  }

 protected:
  void FlushEdits() override {
    text_->Flush();
    for (auto& story : stories_) story.second->Flush();
  }

 private:
  std::shared_ptr<WriterText> text_;
  std::map<OfficeStory, std::shared_ptr<WriterText>> stories_;
};

}  // namespace

std::unique_ptr<WordApplication> LibreOfficeSuite::StartWord(Message* whyNot) {
  return Start<WordApplication, WriterDocument>(kWriter, whyNot);
}

}  // namespace strbatch::uno

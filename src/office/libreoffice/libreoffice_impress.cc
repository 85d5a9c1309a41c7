// PowerPoint presentations in Impress: the slides are the draw pages, the
// shapes those of each page in their order, and a shape has a text frame
// when it is a text shape. Paragraphs of a shape read as CR, line breaks as
// VT, as the presentation program gives them. Edits are kept in each
// shape's mirror and written when the presentation is saved.
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/presentation/XPresentationPage.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include <algorithm>
#include <vector>

#include "libreoffice_suite.h"
#include "text_mirror.h"

namespace strbatch::uno {
namespace {

constexpr DocumentKind kImpress{
    "a PowerPoint", "com.sun.star.presentation.PresentationDocument",
    "MS PowerPoint|Impress MS PowerPoint|Impress Office Open XML|impress8"};
constexpr TextMirror::Style kShapeStyle{"\r", "\v", true, false};

struct ShapeState {
  ShapeState(std::shared_ptr<bool> edited, bool readOnly)
      : mirror(kShapeStyle, std::move(edited)), readOnly(readOnly) {}
  Reference<css::text::XText> text;  // null: no text frame
  TextMirror mirror;
  bool readOnly;
  bool read = false;

  TextMirror& Mirror() {
    if (!read || mirror.Stale()) {
      Call("reading a shape's text", [&] {
        MirrorEditEngineText(mirror, text, EditLock::kNone, false);
        if (readOnly) mirror.LockAll(EditLock::kProtected);
      });
      read = true;
    }
    return mirror;
  }
};

struct SlideState {
  std::shared_ptr<bool> edited;
  bool readOnly = false;
  Reference<css::container::XIndexAccess> shapes;
  // A notes page: the indexes in shapes of its notes texts, one per state.
  bool notesPage = false;
  std::vector<sal_Int32> indexes;
  std::vector<std::shared_ptr<ShapeState>> states;
  std::shared_ptr<SlideState> notes;  // read on first use
};

// The notes page of a slide, with the notes texts that hold anything (an
// empty placeholder is no text of the notes).
std::shared_ptr<SlideState> ReadNotesPage(const SlideState& slide) {
  auto notes = std::make_shared<SlideState>();
  notes->edited = slide.edited;
  notes->readOnly = slide.readOnly;
  notes->notesPage = true;
  Call("reading a slide's notes", [&] {
    Reference<css::presentation::XPresentationPage> page(slide.shapes, UNO_QUERY_THROW);
    notes->shapes.set(page->getNotesPage(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < notes->shapes->getCount(); i++) {
      Reference<css::drawing::XShape> shape(notes->shapes->getByIndex(i), UNO_QUERY);
      // Only its shape type tells a notes placeholder from the slide's image
      // and the number, date, header and footer fields of the notes page.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
      const bool notesText =
          shape.is() && shape->getShapeType() == "com.sun.star.presentation.NotesShape";
#pragma GCC diagnostic pop
      if (!notesText) continue;
      Reference<css::text::XTextRange> text(shape, UNO_QUERY);
      if (text.is() && !text->getString().isEmpty()) notes->indexes.push_back(i);
    }
  });
  notes->states.resize(notes->indexes.size());
  return notes;
}

void FlushSlide(const SlideState& slide) {
  for (const std::shared_ptr<ShapeState>& shape : slide.states) {
    if (shape) shape->mirror.Flush();
  }
  if (slide.notes) FlushSlide(*slide.notes);
}

class ImpressTextRange : public PowerPointTextRange {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): start then length, as the model's
  ImpressTextRange(std::shared_ptr<ShapeState> shape, size_t start, size_t length)
      : shape_(std::move(shape)), start_(start), length_(length) {}
  std::string Text() override { return Mirror().Text(From(), To()); }
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the object model's signature
  std::unique_ptr<PowerPointTextRange> Characters(long start, long length) override {
    const size_t from = std::min(From() + static_cast<size_t>(std::max(start - 1, 0L)), To());
    const size_t to = std::min(from + static_cast<size_t>(std::max(length, 0L)), To());
    return std::make_unique<ImpressTextRange>(shape_, from, to - from);
  }
  void Cut() override {
    if (Lock() != EditLock::kNone) {
      throw AutomationError("LibreOffice: these characters cannot be cut");
    }
    Mirror().Delete(From(), To());
    length_ = 0;
  }
  void InsertAfter(std::string_view text) override {
    if (Mirror().Lock(To(), To()) != EditLock::kNone) {
      throw AutomationError("LibreOffice: no text can be inserted here");
    }
    const size_t at = To();
    length_ = at - From() + Mirror().Insert(at, text);
  }
  long Start() override { return static_cast<long>(From()); }
  long Length() override { return static_cast<long>(To() - From()); }
  EditLock Lock() override { return Mirror().Lock(From(), To()); }

 private:
  TextMirror& Mirror() { return shape_->Mirror(); }
  size_t From() const { return std::min(start_, shape_->mirror.Size()); }
  size_t To() const { return std::min(start_ + length_, shape_->mirror.Size()); }
  std::shared_ptr<ShapeState> shape_;
  size_t start_;
  size_t length_;
};

class ImpressTextFrame : public PowerPointTextFrame {
 public:
  explicit ImpressTextFrame(std::shared_ptr<ShapeState> shape) : shape_(std::move(shape)) {}
  bool HasText() override { return shape_->Mirror().Size() > 0; }
  std::unique_ptr<PowerPointTextRange> TextRange() override {
    return std::make_unique<ImpressTextRange>(shape_, 0, shape_->Mirror().Size());
  }

 private:
  std::shared_ptr<ShapeState> shape_;
};

class ImpressShape : public PowerPointShape {
 public:
  explicit ImpressShape(std::shared_ptr<ShapeState> shape) : shape_(std::move(shape)) {}
  bool HasTextFrame() override { return shape_->text.is(); }
  std::unique_ptr<PowerPointTextFrame> TextFrame() override {
    if (!shape_->text.is()) throw AutomationError("LibreOffice: the shape has no text frame");
    return std::make_unique<ImpressTextFrame>(shape_);
  }

 private:
  std::shared_ptr<ShapeState> shape_;
};

class ImpressSlide : public PowerPointSlide {
 public:
  explicit ImpressSlide(std::shared_ptr<SlideState> slide) : slide_(std::move(slide)) {}
  long ShapeCount() override { return static_cast<long>(slide_->states.size()); }
  std::unique_ptr<PowerPointShape> Shape(long index) override {
    return std::make_unique<ImpressShape>(LazyItem(
        slide_->states, index, "shape", [&](std::shared_ptr<ShapeState>& state, sal_Int32 i) {
          state = std::make_shared<ShapeState>(slide_->edited, slide_->readOnly);
          Call("reading a shape", [&] {
            const sal_Int32 at = slide_->notesPage ? slide_->indexes[static_cast<size_t>(i)] : i;
            Reference<css::lang::XServiceInfo> info(slide_->shapes->getByIndex(at),
                                                    UNO_QUERY_THROW);
            if (info->supportsService("com.sun.star.drawing.Text")) {
              state->text.set(info, UNO_QUERY);
            }
          });
        }));
  }
  std::unique_ptr<PowerPointSlide> NotesPage() override {
    if (slide_->notesPage) throw AutomationError("LibreOffice: a notes page has no notes");
    if (!slide_->notes) slide_->notes = ReadNotesPage(*slide_);
    return std::make_unique<ImpressSlide>(slide_->notes);
  }

 private:
  std::shared_ptr<SlideState> slide_;
};

class ImpressPresentation : public SuiteDocument<PowerPointPresentation> {
 public:
  explicit ImpressPresentation(std::unique_ptr<LoadedDocument> loaded)
      : SuiteDocument(std::move(loaded)) {
    Call("reading the slides", [&] {
      Reference<css::drawing::XDrawPagesSupplier> supplier(loaded_->Model(), UNO_QUERY_THROW);
      pages_.set(supplier->getDrawPages(), UNO_QUERY_THROW);
      slides_.resize(static_cast<size_t>(pages_->getCount()));
    });
    readOnly_ = loaded_->ReadOnly();
  }
  long SlideCount() override { return static_cast<long>(slides_.size()); }
  std::unique_ptr<PowerPointSlide> Slide(long index) override {
    return std::make_unique<ImpressSlide>(
        LazyItem(slides_, index, "slide", [&](std::shared_ptr<SlideState>& slide, sal_Int32 i) {
          Call("reading a slide", [&] {
            auto state = std::make_shared<SlideState>();
            state->edited = loaded_->Edited();
            state->readOnly = readOnly_;
            state->shapes.set(pages_->getByIndex(i), UNO_QUERY_THROW);
            state->states.resize(static_cast<size_t>(state->shapes->getCount()));
            slide = state;
          });
        }));
  }

 protected:
  void FlushEdits() override {
    Call("writing the edits", [&] {
      for (const std::shared_ptr<SlideState>& slide : slides_) {
        if (slide) FlushSlide(*slide);
      }
    });
  }

 private:
  Reference<css::container::XIndexAccess> pages_;
  std::vector<std::shared_ptr<SlideState>> slides_;
  bool readOnly_ = false;
};

}  // namespace

std::unique_ptr<PowerPointApplication> LibreOfficeSuite::StartPowerPoint(Message* whyNot) {
  return Start<PowerPointApplication, ImpressPresentation>(kImpress, whyNot);
}

}  // namespace strbatch::uno

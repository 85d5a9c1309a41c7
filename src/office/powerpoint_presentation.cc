#include "office/powerpoint_presentation.h"

#include "office/layout_walk.h"
#include "office/office_save.h"

namespace strbatch {
namespace {

constexpr LayoutSeparators kPresentationSeparators{'\r', '\n', -1};

// The text of the shape at the location, or null when the location lies
// outside the presentation or the shape has no text frame.
std::unique_ptr<PowerPointTextRange> ShapeTextAt(PowerPointPresentation& presentation,
                                                 const OfficeLocation& location) {
  if (location.slide < 0 || location.slide >= presentation.SlideCount()) return nullptr;
  std::unique_ptr<PowerPointSlide> slide = presentation.Slide(location.slide + 1);
  if (location.shape < 0 || location.shape >= slide->ShapeCount()) return nullptr;
  std::unique_ptr<PowerPointShape> shape = slide->Shape(location.shape + 1);
  if (!shape->HasTextFrame()) return nullptr;
  return shape->TextFrame()->TextRange();
}

}  // namespace

std::unique_ptr<PowerPointPresentation> OpenPresentation(OfficeApplications& applications,
                                                         const std::string& path,
                                                         std::string* whyNot) {
  PowerPointApplication* powerPoint = applications.EnsurePowerPoint(whyNot);
  if (powerPoint == nullptr) return nullptr;
  return powerPoint->Open(path, whyNot);
}

std::string CleanShapeText(std::string_view text) { return CleanLayoutText(text, false); }

std::string WritePresentationText(PowerPointPresentation& presentation, const CodePage& codePage) {
  std::string text;
  const long slides = presentation.SlideCount();
  for (long s = 1; s <= slides; s++) {
    std::unique_ptr<PowerPointSlide> slide = presentation.Slide(s);
    const long shapes = slide->ShapeCount();
    for (long h = 1; h <= shapes; h++) {
      std::unique_ptr<PowerPointShape> shape = slide->Shape(h);
      if (shape->HasTextFrame()) {
        std::unique_ptr<PowerPointTextFrame> frame = shape->TextFrame();
        if (frame->HasText()) {
          std::string bytes;
          codePage.FromUtf8(frame->TextRange()->Text(), &bytes);
          text += CleanShapeText(bytes);
        }
      }
      text.push_back('\n');
    }
    text.push_back('\r');
  }
  return text;
}

LocateResult LocateInPresentationText(std::string_view segment, int64_t offset, int64_t length,
                                      OfficeLocation& location, const CodePage& codePage) {
  const LayoutPosition from{location.slide, location.shape, 0, location.carriedOffset};
  const size_t begin = static_cast<size_t>(offset);
  const LayoutWalk walk = WalkLayout(segment, begin, begin + static_cast<size_t>(length), from,
                                     static_cast<size_t>(location.continuationBytes),
                                     kPresentationSeparators, codePage);
  if (walk.started) {
    location.slide = walk.atStart.outer;
    location.shape = walk.atStart.middle;
    location.start = walk.atStart.characters;
    location.length = walk.length;
  }
  location.continuationBytes = 0;

  LocateResult result;
  result.editable = walk.aligned && !walk.crossed;
  result.after = location;
  result.after.slide = walk.atEnd.outer;
  result.after.shape = walk.atEnd.middle;
  result.after.carriedOffset = walk.atEnd.characters;
  result.after.continuationBytes = static_cast<int>(walk.overshoot);
  return result;
}

bool PresentationOccurrenceFits(PowerPointPresentation& presentation,
                                const OfficeLocation& location, std::string_view occurrence,
                                const CodePage& codePage) {
  std::unique_ptr<PowerPointTextRange> text = ShapeTextAt(presentation, location);
  if (!text) return false;
  std::unique_ptr<PowerPointTextRange> characters =
      text->Characters(location.start + 1, location.length);
  if (characters->Length() != location.length || !characters->CanEdit()) return false;
  std::string bytes;
  return codePage.FromUtf8(characters->Text(), &bytes) && CleanShapeText(bytes) == occurrence;
}

void EditPresentationOccurrence(PowerPointPresentation& presentation, OfficeLocation& location,
                                std::string_view replacement, const CodePage& codePage) {
  std::unique_ptr<PowerPointTextRange> text = ShapeTextAt(presentation, location);
  if (!text) throw AutomationError("the occurrence lies outside the presentation");
  std::unique_ptr<PowerPointTextRange> occurrence =
      text->Characters(location.start + 1, location.length);
  occurrence->Cut();
  std::string utf8;
  codePage.ToUtf8(replacement, &utf8);
  occurrence->InsertAfter(utf8);
  location.carriedOffset = occurrence->Start() + occurrence->Length();
  location.continuationBytes = 0;
}

void ClosePresentation(PowerPointPresentation& presentation, const std::string& path,
                       bool changesExpected, FileRewriter& rewriter) {
  if (changesExpected && presentation.Modified()) {
    SaveDocumentInPlace(
        [&presentation](const std::string& copy) { presentation.SaveCopyAs(copy); }, path,
        rewriter);
  }
  presentation.Close();
}

}  // namespace strbatch

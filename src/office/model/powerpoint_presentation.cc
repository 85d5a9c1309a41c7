#include "office/model/powerpoint_presentation.h"

#include <vector>

namespace strbatch {
namespace {

// The text of the shape at the location, or null when the location lies
// outside the presentation or the shape has no text frame.
std::unique_ptr<PowerPointTextRange> ShapeTextAt(PowerPointPresentation& presentation,
                                                 const OfficeLocation& location) {
  if (location.slide < 0 || location.slide >= presentation.SlideCount()) return nullptr;
  std::unique_ptr<PowerPointSlide> slide = presentation.Slide(location.slide + 1);
  if (location.story != 0) {
    const std::vector<OfficeStory> stories = FurtherStories(OfficeKind::PowerPoint);
    if (location.story < 0 || location.story > static_cast<long>(stories.size()) ||
        stories[static_cast<size_t>(location.story - 1)] != OfficeStory::kSlideNotes) {
      return nullptr;
    }
    slide = slide->NotesPage();
  }
  if (location.shape < 0 || location.shape >= slide->ShapeCount()) return nullptr;
  std::unique_ptr<PowerPointShape> shape = slide->Shape(location.shape + 1);
  if (!shape->HasTextFrame()) return nullptr;
  return shape->TextFrame()->TextRange();
}

}  // namespace

namespace {

// The shapes of every slide, or of every slide's notes page.
OfficeText WriteSlides(PowerPointPresentation& presentation, bool notes,
                       const CodePage& codePage) {
  const TextLayout& layout = PresentationSteps::kLayout.text;
  OfficeText text;
  AppendLayoutLevel(text.bytes, presentation.SlideCount(), layout.outer, [&](long s) {
    std::unique_ptr<PowerPointSlide> slide = presentation.Slide(s);
    if (notes) slide = slide->NotesPage();
    AppendLayoutLevel(text.bytes, slide->ShapeCount(), layout.middle, [&](long h) {
      std::unique_ptr<PowerPointShape> shape = slide->Shape(h);
      if (!shape->HasTextFrame()) return;
      std::unique_ptr<PowerPointTextFrame> frame = shape->TextFrame();
      if (frame->HasText()) AppendLayoutText(text, frame->TextRange()->Text(), layout, codePage);
    });
  });
  return text;
}

}  // namespace

OfficeText WritePresentationText(PowerPointPresentation& presentation, const CodePage& codePage) {
  return WriteSlides(presentation, false, codePage);
}

OfficeText WritePresentationStory(PowerPointPresentation& presentation, OfficeStory story,
                                  const CodePage& codePage) {
  if (story != OfficeStory::kSlideNotes) return OfficeText();
  return WriteSlides(presentation, true, codePage);
}

std::unique_ptr<PowerPointTextRange> PresentationSteps::OccurrenceCharacters(
    PowerPointPresentation& presentation, const OfficeLocation& location) {
  std::unique_ptr<PowerPointTextRange> text = ShapeTextAt(presentation, location);
  if (!text) return nullptr;
  std::unique_ptr<PowerPointTextRange> characters =
      text->Characters(location.start + 1, location.length);
  if (characters->Length() != location.length) return nullptr;
  return characters;
}

long PresentationSteps::ReplaceCharacters(PowerPointPresentation& presentation,
                                          const OfficeLocation& location,
                                          std::string_view utf8) {
  std::unique_ptr<PowerPointTextRange> text = ShapeTextAt(presentation, location);
  if (!text) throw AutomationError("the occurrence lies outside the presentation");
  std::unique_ptr<PowerPointTextRange> occurrence =
      text->Characters(location.start + 1, location.length);
  occurrence->Cut();
  occurrence->InsertAfter(utf8);
  return occurrence->Start() + occurrence->Length();
}

}  // namespace strbatch

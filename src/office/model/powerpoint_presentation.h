// PowerPoint presentations: the text of every shape of every slide is the
// work text, laid out with an LF after each shape and a CR after each slide,
// so that the position of any byte tells its slide, shape and character in
// the shape's text. Each occurrence is traced back through these separators
// and replaced inside its shape. Text handed to and from these functions is
// in the code page the run opened the presentation with.
#ifndef STRBATCH_OFFICE_MODEL_POWERPOINT_PRESENTATION_H_
#define STRBATCH_OFFICE_MODEL_POWERPOINT_PRESENTATION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "office/model/office_applications.h"
#include "office/model/office_location.h"
#include "office/model/office_model.h"
#include "office/model/office_occurrence.h"
#include "office/office_bridge.h"

namespace strbatch {

// The layout of all slides. A shape's text is laid out with each CR LF pair,
// CR and LF as one space; a TAB stays.
OfficeText WritePresentationText(PowerPointPresentation& presentation, const CodePage& codePage);

// A further story of all slides: their notes, laid out as the slides'
// shapes are.
OfficeText WritePresentationStory(PowerPointPresentation& presentation, OfficeStory story,
                                   const CodePage& codePage);

// Presentations for the shared occurrence steps: a location's slide and
// shape are the layout's levels, and its start counts in the shape's text.
struct PresentationSteps {
  using Document = PowerPointPresentation;
  static constexpr OfficeKind kKind = OfficeKind::PowerPoint;
  static constexpr OfficeLayout kLayout{
      .text = kPresentationTextLayout,
      .outer = &OfficeLocation::slide,
      .middle = &OfficeLocation::shape,
  };
  static PowerPointApplication* Application(OfficeApplications& applications,
                                            Message* whyNot) {
    return applications.EnsurePowerPoint(whyNot);
  }
  static constexpr auto WriteText = WritePresentationText;
  static constexpr auto WriteStory = WritePresentationStory;
  // The occurrence's characters in its shape (in the notes' story, a text
  // of the slide's notes page); null when the shape has no text frame or
  // too few characters there.
  static std::unique_ptr<PowerPointTextRange> OccurrenceCharacters(
      PowerPointPresentation& presentation, const OfficeLocation& location);
  // Cuts the occurrence and inserts the text at its place; gives the end of
  // the inserted text as the shape reports it.
  static long ReplaceCharacters(PowerPointPresentation& presentation,
                                const OfficeLocation& location, std::string_view utf8);
};

// The shared steps under their presentation names: slide, shape, start and
// length of an occurrence, counted on from the location; its replacement
// inside its shape.
inline constexpr auto& OpenPresentation = OpenDocument<PresentationSteps>;
inline constexpr auto& LocateInPresentationText = LocateIn<PresentationSteps>;
inline constexpr auto& EditPresentationOccurrence = ReplaceOccurrence<PresentationSteps>;

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_POWERPOINT_PRESENTATION_H_

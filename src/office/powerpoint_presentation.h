// PowerPoint presentations: the text of every shape of every slide is the
// work text, laid out with an LF after each shape and a CR after each slide,
// so that the position of any byte tells its slide, shape and character in
// the shape's text. Each occurrence is traced back through these separators
// and replaced inside its shape. Text handed to and from these functions is
// in the process code page.
#ifndef STRBATCH_OFFICE_POWERPOINT_PRESENTATION_H_
#define STRBATCH_OFFICE_POWERPOINT_PRESENTATION_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/office_applications.h"
#include "office/office_location.h"
#include "office/office_model.h"

namespace strbatch {

// Opens the presentation, without a window, in the PowerPoint instance of
// the run (started when missing); null when there is none or the file is
// not a presentation it can save back.
std::unique_ptr<PowerPointPresentation> OpenPresentation(OfficeApplications& applications,
                                                         const std::string& path,
                                                         std::string* whyNot);

// A shape's text as the layout holds it: a CR LF pair becomes one space,
// every other CR and LF a space; TAB stays.
std::string CleanShapeText(std::string_view text);

std::string WritePresentationText(PowerPointPresentation& presentation, const CodePage& codePage);

// Sets slide, shape, start and length of the occurrence at
// [offset, offset + length) of segment, counting on from the location.
LocateResult LocateInPresentationText(std::string_view segment, int64_t offset, int64_t length,
                                      OfficeLocation& location, const CodePage& codePage);

bool PresentationOccurrenceFits(PowerPointPresentation& presentation,
                                const OfficeLocation& location, std::string_view occurrence,
                                const CodePage& codePage);

// Replaces the occurrence inside its shape and sets carriedOffset to the
// end of the inserted text as the shape reports it.
void EditPresentationOccurrence(PowerPointPresentation& presentation, OfficeLocation& location,
                                std::string_view replacement, const CodePage& codePage);

void ClosePresentation(PowerPointPresentation& presentation, const std::string& path,
                       bool changesExpected, FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_POWERPOINT_PRESENTATION_H_

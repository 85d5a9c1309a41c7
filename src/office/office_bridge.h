// The office documents as the batch sees them: a document's text laid out
// in the work file, and each occurrence found in that text located and
// edited back into the document. A machine without an office suite has no
// bridge, and office documents then yield no text.
#ifndef STRBATCH_OFFICE_OFFICE_BRIDGE_H_
#define STRBATCH_OFFICE_OFFICE_BRIDGE_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace strbatch {

// The one exception of the system: an office call that failed. It ends the
// batch run unless the office code absorbs it.
class AutomationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class OfficeKind { None, Word, Excel, PowerPoint };

// The kind of office document an extension (with its dot) names, compared
// without regard to ASCII case.
OfficeKind OfficeKindOf(const std::string& extension);

class OfficeDocument {
 public:
  virtual ~OfficeDocument() = default;
  // The document's text in the work file layout of its kind.
  virtual std::string WriteText() = 0;
  // Starts the occurrences of one definition: the running position is reset.
  virtual void BeginOccurrences() = 0;
  // One occurrence, in the order found: the work text from the cursor, the
  // occurrence's byte offset from the cursor and its byte length.
  virtual void LocateOccurrence(std::string_view textFromCursor, int64_t offset,
                                int64_t length) = 0;
  // Replaces the occurrence located last with the replacement text.
  virtual void EditOccurrence(std::string_view replacement) = 0;
  // Saves (when save is true) and closes the document.
  virtual void Close(bool save) = 0;
};

class OfficeBridge {
 public:
  virtual ~OfficeBridge() = default;
  // Opens a document; null when the application is missing or gives no
  // document.
  virtual std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind) = 0;
  // Ends the application instances started during the run.
  virtual void QuitAll() = 0;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_OFFICE_BRIDGE_H_

// A streaming read of one XML part that keeps the byte positions of what it
// reports: each element with the bytes of its start and end tags, and the
// characters of the text between tags, each with the bytes it was written
// as (an entity or a character reference is one character). libxml2 checks
// that the part is well-formed and resolves the namespaces; the positions
// are taken from the part's own bytes and checked against what libxml2 read.
#ifndef STRBATCH_OFFICE_PACKAGE_XML_SCAN_H_
#define STRBATCH_OFFICE_PACKAGE_XML_SCAN_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace strbatch {

struct XmlAttribute {
  std::string_view uri;    // the namespace, empty for none
  std::string_view local;  // the name without its prefix
  std::string value;       // with references resolved
};

struct XmlElement {
  std::string_view uri;
  std::string_view local;
  std::string_view qname;  // as written, prefix included
  const std::vector<XmlAttribute>* attributes = nullptr;
  uint32_t tagBegin = 0;   // the start tag's '<'
  uint32_t tagEnd = 0;     // just past the start tag's '>'
  bool empty = false;      // written as <x/>

  // The attribute's value, or null.
  const std::string* Attribute(std::string_view uri, std::string_view local) const;
  // The prefix of the element's name ("" for the default namespace).
  std::string_view Prefix() const {
    const size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
  }
};

// One character of text: its code point and the bytes [begin, end) it was
// written as. A CR LF pair reads as one LF.
struct XmlChar {
  char32_t code;
  uint32_t begin;
  uint32_t end;
};

class XmlHandler {
 public:
  virtual ~XmlHandler() = default;
  virtual void StartElement(const XmlElement& element) = 0;
  // tagBegin and tagEnd of the end tag; both the start tag's end for <x/>.
  // The element's attributes are not given again.
  virtual void EndElement(const XmlElement& element, uint32_t tagBegin, uint32_t tagEnd) = 0;
  // The characters between two tags (comments and processing instructions
  // left out), in one call.
  virtual void Text(const std::vector<XmlChar>& chars) = 0;
};

// Reads xml (its first 4 GiB at most) and reports it to handler. False,
// with a reason, when it is not well-formed, declares a document type, is
// not UTF-8, or its bytes do not agree with what libxml2 read, or when
// shouldStop (asked every few megabytes) answers true.
bool ScanXml(std::string_view xml, XmlHandler& handler, std::string* error,
             const std::function<bool()>& shouldStop = {});

// xml with &, < and > written as references (and " for attribute values);
// characters XML cannot hold are left out.
std::string EscapeXml(std::string_view utf8);

// Appends one code point to out as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_XML_SCAN_H_

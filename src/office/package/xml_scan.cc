#include "office/package/xml_scan.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <unicode/utf8.h>

#include <cstring>
#include <limits>

namespace strbatch {
namespace {

// The parts are read whole from memory; the positions libxml2 stands at
// during a callback are its input's offset in them.
struct ScanState {
  std::string_view xml;
  XmlHandler* handler = nullptr;
  xmlParserCtxtPtr context = nullptr;
  std::string error;
  uint32_t textBegin = 0;     // where the text before the next tag begins
  std::string parsedText;     // what libxml2 reported as text since then
  struct Open {
    std::string_view uri, local, qname;
    uint32_t tagBegin, tagEnd;
    bool empty;
  };
  std::vector<Open> open;
  std::vector<XmlAttribute> attributes;
  std::vector<XmlChar> chars;
  const std::function<bool()>* shouldStop = nullptr;
  uint64_t nextPoll = 0;

  // Asks for the run's stop request every few megabytes of the part.
  void Poll() {
    constexpr uint64_t kPollBytes = uint64_t{4} << 20;
    if (shouldStop == nullptr || !*shouldStop) return;
    const uint64_t at = Position();
    if (at < nextPoll) return;
    nextPoll = at + kPollBytes;
    if ((*shouldStop)()) Fail("stopped");
  }

  uint64_t Position() const {
    const xmlParserInputPtr input = context->input;
    return static_cast<uint64_t>(input->consumed) + static_cast<uint64_t>(input->cur - input->base);
  }
  void Fail(const std::string& why) {
    if (error.empty()) error = why;
    xmlStopParser(context);
  }
};


// Decodes one UTF-8 character at pos; 0xFFFFFFFF when malformed.
char32_t DecodeUtf8(std::string_view text, size_t pos, size_t* length) {
  const unsigned char b = static_cast<unsigned char>(text[pos]);
  size_t n;
  char32_t code;
  if (b < 0x80) {
    *length = 1;
    return b;
  }
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2;
    code = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3;
    code = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4;
    code = b & 0x07;
  } else {
    return 0xFFFFFFFF;
  }
  if (pos + n > text.size()) return 0xFFFFFFFF;
  for (size_t i = 1; i < n; i++) {
    const unsigned char c = static_cast<unsigned char>(text[pos + i]);
    if ((c & 0xC0) != 0x80) return 0xFFFFFFFF;
    code = (code << 6) | (c & 0x3F);
  }
  *length = n;
  return code;
}

// The character a reference [begin, end) (without '&' and ';') stands for.
char32_t Reference(std::string_view name) {
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  if (name.size() < 2 || name[0] != '#') return 0xFFFFFFFF;
  const bool hex = name[1] == 'x';
  char32_t code = 0;
  const size_t first = hex ? 2 : 1;
  if (name.size() <= first) return 0xFFFFFFFF;
  for (size_t i = first; i < name.size(); i++) {
    const char c = name[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return 0xFFFFFFFF;
    }
    code = code * (hex ? 16 : 10) + static_cast<char32_t>(digit);
    if (code > 0x10FFFF) return 0xFFFFFFFF;
  }
  return code;
}

// The characters of the text in [begin, end) of xml, each with its bytes.
bool DecodeText(std::string_view xml, uint32_t begin, uint32_t end, std::vector<XmlChar>* chars) {
  chars->clear();
  size_t pos = begin;
  bool inCdata = false;
  while (pos < end) {
    const std::string_view rest = xml.substr(pos, end - pos);
    if (inCdata) {
      if (rest.substr(0, 3) == "]]>") {
        inCdata = false;
        pos += 3;
        continue;
      }
    } else if (rest[0] == '<') {
      size_t close;
      if (rest.substr(0, 4) == "<!--") {
        close = rest.find("-->", 4);
        if (close == std::string_view::npos) return false;
        pos += close + 3;
      } else if (rest.substr(0, 2) == "<?") {
        close = rest.find("?>", 2);
        if (close == std::string_view::npos) return false;
        pos += close + 2;
      } else if (rest.substr(0, 9) == "<![CDATA[") {
        inCdata = true;
        pos += 9;
      } else {
        return false;
      }
      continue;
    } else if (rest[0] == '&') {
      const size_t semicolon = rest.find(';');
      if (semicolon == std::string_view::npos) return false;
      const char32_t code = Reference(rest.substr(1, semicolon - 1));
      if (code == 0xFFFFFFFF) return false;
      chars->push_back({code, static_cast<uint32_t>(pos), static_cast<uint32_t>(pos + semicolon + 1)});
      pos += semicolon + 1;
      continue;
    }
    if (rest[0] == '\r') {
      const size_t n = rest.size() > 1 && rest[1] == '\n' ? 2 : 1;
      chars->push_back({'\n', static_cast<uint32_t>(pos), static_cast<uint32_t>(pos + n)});
      pos += n;
      continue;
    }
    size_t length;
    const char32_t code = DecodeUtf8(xml, pos, &length);
    if (code == 0xFFFFFFFF || pos + length > end) return false;
    chars->push_back({code, static_cast<uint32_t>(pos), static_cast<uint32_t>(pos + length)});
    pos += length;
  }
  return !inCdata;
}

// Reports the text that ends at tagBegin, after checking it against what
// libxml2 read there.
void FlushText(ScanState& state, uint32_t tagBegin) {
  if (tagBegin < state.textBegin) return state.Fail("the XML's positions could not be followed");
  // Before the root element there is no text, only white space, comments
  // and processing instructions.
  if (state.open.empty() || (tagBegin == state.textBegin && state.parsedText.empty())) {
    state.parsedText.clear();
    return;
  }
  if (!DecodeText(state.xml, state.textBegin, tagBegin, &state.chars)) {
    return state.Fail("the XML's text could not be read");
  }
  std::string decoded;
  for (const XmlChar& c : state.chars) AppendUtf8(decoded, c.code);
  if (decoded != state.parsedText) return state.Fail("the XML's text could not be followed");
  state.parsedText.clear();
  if (!state.chars.empty()) state.handler->Text(state.chars);
}

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

void OnStart(void* data, const xmlChar* local, const xmlChar* prefix, const xmlChar* uri, int,
             const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
  auto& state = *static_cast<ScanState*>(data);
  state.Poll();
  if (!state.error.empty()) return;
  const uint64_t at = state.Position();
  const std::string_view xml = state.xml;
  if (at >= xml.size() || (xml[at] != '>' && xml[at] != '/')) {
    return state.Fail("the XML's tags could not be followed");
  }
  const size_t open = xml.rfind('<', at);
  std::string qname = prefix ? std::string(View(prefix)) + ":" : std::string();
  qname += View(local);
  if (open == std::string_view::npos || xml.compare(open + 1, qname.size(), qname) != 0) {
    return state.Fail("the XML's tags could not be followed");
  }
  const bool empty = xml[at] == '/';
  if (empty && (at + 1 >= xml.size() || xml[at + 1] != '>')) {
    return state.Fail("the XML's tags could not be followed");
  }
  FlushText(state, static_cast<uint32_t>(open));
  if (!state.error.empty()) return;
  state.attributes.clear();
  for (int i = 0; i < attributeCount; i++) {
    const xmlChar** a = attributes + 5 * i;
    std::string value(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
    // Not replacing entities, libxml2 gives every ampersand of a value
    // (&amp;, &#38;, &#x26;) as "&#38;"; no other text can read so.
    for (size_t amp = value.find("&#38;"); amp != std::string::npos;
         amp = value.find("&#38;", amp + 1)) {
      value.replace(amp, 5, "&");
    }
    state.attributes.push_back({View(a[2]), View(a[0]), std::move(value)});
  }
  XmlElement element;
  element.uri = View(uri);
  element.local = View(local);
  element.qname = xml.substr(open + 1, qname.size());
  element.attributes = &state.attributes;
  element.tagBegin = static_cast<uint32_t>(open);
  element.tagEnd = static_cast<uint32_t>(at + (empty ? 2 : 1));
  element.empty = empty;
  state.open.push_back({element.uri, element.local, element.qname, element.tagBegin,
                        element.tagEnd, empty});
  state.textBegin = element.tagEnd;
  state.handler->StartElement(element);
}

void OnEnd(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto& state = *static_cast<ScanState*>(data);
  state.Poll();
  if (!state.error.empty()) return;
  if (state.open.empty()) return state.Fail("the XML's tags could not be followed");
  const ScanState::Open top = state.open.back();
  const uint64_t at = state.Position();
  const std::string_view xml = state.xml;
  uint32_t tagBegin = top.tagEnd, tagEnd = top.tagEnd;
  if (!top.empty) {
    const size_t open = at > 0 ? xml.rfind('<', at - 1) : std::string_view::npos;
    if (open == std::string_view::npos || at > xml.size() || at == 0 || xml[at - 1] != '>' ||
        xml.compare(open, 2, "</") != 0 || xml.compare(open + 2, top.qname.size(), top.qname) != 0) {
      return state.Fail("the XML's tags could not be followed");
    }
    tagBegin = static_cast<uint32_t>(open);
    tagEnd = static_cast<uint32_t>(at);
    FlushText(state, tagBegin);
    if (!state.error.empty()) return;
  } else if (at != top.tagEnd) {
    return state.Fail("the XML's tags could not be followed");
  }
  state.open.pop_back();
  state.textBegin = tagEnd;
  XmlElement element;
  element.uri = top.uri;
  element.local = top.local;
  element.qname = top.qname;
  element.tagBegin = top.tagBegin;
  element.tagEnd = top.tagEnd;
  element.empty = top.empty;
  state.handler->EndElement(element, tagBegin, tagEnd);
}

void OnCharacters(void* data, const xmlChar* text, int length) {
  auto& state = *static_cast<ScanState*>(data);
  state.Poll();
  state.parsedText.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

void OnDocumentType(void* data, const xmlChar*, const xmlChar*, const xmlChar*) {
  static_cast<ScanState*>(data)->Fail("the XML declares a document type");
}

void OnError(void* data, xmlError* error) {
  auto& state = *static_cast<ScanState*>(data);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  std::string message = error->message ? error->message : "not well-formed";
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  state.Fail("the XML is not well-formed (line " + std::to_string(error->line) + ": " + message +
             ")");
}

// The encoding the XML declaration names, or "" when it names none.
std::string DeclaredEncoding(std::string_view xml) {
  if (xml.substr(0, 5) != "<?xml") return "";
  const std::string_view declaration = xml.substr(0, xml.find("?>"));
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return "";
  const size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string_view::npos) return "";
  const size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string_view::npos) return "";
  std::string name(declaration.substr(quote + 1, close - quote - 1));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return name;
}

}  // namespace

const std::string* XmlElement::Attribute(std::string_view uri, std::string_view local) const {
  if (attributes == nullptr) return nullptr;
  for (const XmlAttribute& attribute : *attributes) {
    if (attribute.local == local && attribute.uri == uri) return &attribute.value;
  }
  return nullptr;
}

bool ScanXml(std::string_view xml, XmlHandler& handler, std::string* error,
             const std::function<bool()>& shouldStop) {
  if (xml.size() >= std::numeric_limits<uint32_t>::max() ||
      xml.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    *error = "the XML part is too large";
    return false;
  }
  const std::string_view body = xml.substr(0, 3) == "\xEF\xBB\xBF" ? xml.substr(3) : xml;
  const std::string encoding = DeclaredEncoding(body);
  if ((!encoding.empty() && encoding != "utf-8" && encoding != "utf8") ||
      xml.substr(0, 2) == "\xFF\xFE" || xml.substr(0, 2) == "\xFE\xFF") {
    *error = "the XML part is not UTF-8";
    return false;
  }
  ScanState state;
  state.xml = xml;
  state.handler = &handler;
  state.shouldStop = &shouldStop;
  state.textBegin = 0;
  xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(xml.data(), static_cast<int>(xml.size()));
  if (context == nullptr) {
    *error = "the XML parser could not be made";
    return false;
  }
  state.context = context;
  auto* sax = static_cast<xmlSAXHandler*>(xmlMalloc(sizeof(xmlSAXHandler)));
  std::memset(sax, 0, sizeof(xmlSAXHandler));
  sax->initialized = XML_SAX2_MAGIC;
  sax->startElementNs = OnStart;
  sax->endElementNs = OnEnd;
  sax->characters = OnCharacters;
  sax->ignorableWhitespace = OnCharacters;
  sax->cdataBlock = OnCharacters;
  sax->internalSubset = OnDocumentType;
  sax->serror = OnError;
  if (context->sax != nullptr) xmlFree(context->sax);
  context->sax = sax;
  context->userData = &state;
  xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_HUGE);
  // The text before the root element (the declaration, comments) is not
  // reported; the scan of text starts after the declaration.
  const size_t root = xml.find('<', xml.substr(0, 5) == "<?xml" ? xml.find("?>") : 0);
  state.textBegin = static_cast<uint32_t>(root == std::string_view::npos ? 0 : root);
  xmlParseDocument(context);
  const bool wellFormed = context->wellFormed != 0;
  xmlFreeParserCtxt(context);
  if (state.error.empty() && !wellFormed) state.error = "the XML is not well-formed";
  if (!state.error.empty()) {
    *error = state.error;
    return false;
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t code) {
  char buffer[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(buffer, length, static_cast<UChar32>(code));
  out.append(buffer, static_cast<size_t>(length));
}

std::string EscapeXml(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    const unsigned char b = static_cast<unsigned char>(c);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters other than TAB, LF and CR cannot be written
        // in XML 1.0.
        if (b < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace strbatch

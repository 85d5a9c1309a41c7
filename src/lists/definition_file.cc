#include "lists/definition_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "base/ascii.h"
#include "base/paths.h"

namespace strbatch {
namespace {

constexpr std::string_view kCdataOpen = "<![CDATA[";
constexpr std::string_view kCdataClose = "]]>";
// The first line must begin with the declaration; longer first lines are
// looked at only this far.
constexpr size_t kFirstLineLimit = 254;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

// The reader drops line breaks at either end of plain element text, and
// plain text cannot hold "<". Such texts go into a CDATA section, whose
// content the reader keeps whole. "]]>" inside the text would end the section
// early, so the section is closed after "]]" and a new one starts with ">".
void AppendWrapped(std::string_view text, std::string* out) {
  bool plain = text.find('<') == std::string_view::npos &&
               (text.empty() || (!IsLineBreak(text.front()) && !IsLineBreak(text.back())));
  if (plain) {
    out->append(text);
    return;
  }
  out->append(kCdataOpen);
  size_t pos = 0;
  for (size_t close = text.find(kCdataClose); close != std::string_view::npos;
       close = text.find(kCdataClose, pos)) {
    out->append(text.substr(pos, close - pos));
    out->append("]]]]><![CDATA[>");
    pos = close + kCdataClose.size();
  }
  out->append(text.substr(pos));
  out->append(kCdataClose);
}

// The name of a tag for a message: "<item id=1>" gives "<item>". Only
// plain ASCII name characters are shown, at most 32 of them.
std::string TagName(std::string_view tag) {
  if (tag.substr(0, 4) == "<!--") return "<!-- -->";
  std::string name = "<";
  for (size_t i = 1; i < tag.size() && name.size() <= 32; i++) {
    const char c = tag[i];
    const bool nameChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-' || c == ':' ||
                          c == '.' || (i == 1 && (c == '!' || c == '?'));
    if (!nameChar) break;
    name += c;
  }
  return name + ">";
}

// Counts lines as the parser moves forward, so that every node and every
// refusal can name its line without a second pass over the text.
class LineCounter {
 public:
  explicit LineCounter(std::string_view content) : content_(content) {}
  size_t At(size_t pos) {
    for (; counted_ < pos && counted_ < content_.size(); counted_++) {
      if (content_[counted_] == '\n') line_++;
    }
    return line_;
  }

 private:
  std::string_view content_;
  size_t counted_ = 0;
  size_t line_ = 1;
};

bool Refuse(size_t line, Message reason, DefinitionFileError* error) {
  error->line = line;
  error->reason = std::move(reason);
  return false;
}

class TreeBuilder {
 public:
  explicit TreeBuilder(MarkupTree* tree) : tree_(tree) { tree_->nodes.clear(); }

  void Text(char c) {
    if (current_ == MarkupNode::kNone) return;
    std::string& text = tree_->nodes[current_].text;
    // Line breaks at the start of a text are layout, not content.
    if (!text.empty() || !IsLineBreak(c)) text += c;
  }

  // Before every tag: line breaks at the end of plain text are layout too.
  // Text that came from a CDATA section is content and is never cut.
  void EndOfText() {
    if (current_ == MarkupNode::kNone) return;
    std::string& text = tree_->nodes[current_].text;
    while (text.size() > protectedLength_ && IsLineBreak(text.back())) text.pop_back();
  }

  void Cdata(std::string_view content) {
    if (current_ == MarkupNode::kNone) return;
    std::string& text = tree_->nodes[current_].text;
    text.append(content);
    protectedLength_ = text.size();
  }

  void Close() {
    if (!open_.empty()) open_.pop_back();
    current_ = MarkupNode::kNone;
  }

  void Empty(std::string_view tag, size_t line) {
    NewNode(tag, line);
    current_ = MarkupNode::kNone;
  }

  void Open(std::string_view tag, size_t line) {
    size_t node = NewNode(tag, line);
    open_.push_back(node);
    current_ = node;
    protectedLength_ = 0;
  }

  size_t InnermostOpen() const { return open_.empty() ? MarkupNode::kNone : open_.back(); }

 private:
  // The first node is the root; every node goes under the innermost open one.
  size_t NewNode(std::string_view tag, size_t line) {
    std::vector<MarkupNode>& nodes = tree_->nodes;
    size_t index = nodes.size();
    nodes.emplace_back();
    nodes[index].tag = tag;
    nodes[index].line = line;
    if (!open_.empty()) {
      MarkupNode& parent = nodes[open_.back()];
      if (parent.firstChild == MarkupNode::kNone) {
        parent.firstChild = index;
      } else {
        nodes[parent.lastChild].next = index;
      }
      parent.lastChild = index;
    }
    return index;
  }

  MarkupTree* tree_;
  std::vector<size_t> open_;
  size_t current_ = MarkupNode::kNone;
  size_t protectedLength_ = 0;
};

}  // namespace

std::string FormatDefinitionFile(const std::vector<DefinitionRecord>& rows) {
  std::string out = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<replace>\r\n";
  for (const DefinitionRecord& row : rows) {
    out += "<item><old>";
    AppendWrapped(row.find, &out);
    out += "</old><new>";
    AppendWrapped(row.replace, &out);
    out += "</new></item>\r\n";
  }
  out += "</replace>\r\n";
  return out;
}

bool SaveDefinitionFile(FileRewriter& rewriter, const std::string& path,
                        const std::vector<DefinitionRecord>& rows, Message* error) {
  return RewriteFile(rewriter, path, FormatDefinitionFile(rows), error);
}

bool SaveDefinitionFile(const std::string& path, const std::vector<DefinitionRecord>& rows,
                        Message* error) {
  return SaveDefinitionFile(DefaultFileRewriter(), path, rows, error);
}

bool ParseMarkupText(std::string_view content, MarkupTree* tree, DefinitionFileError* error) {
  tree->nodes.clear();
  tree->unclosed = MarkupNode::kNone;
  if (content.empty()) return Refuse(0, Message(MessageId::kFileEmpty), error);
  std::string_view firstLine = content.substr(0, kFirstLineLimit);
  if (size_t lf = firstLine.find('\n'); lf != std::string_view::npos) {
    firstLine = firstLine.substr(0, lf + 1);
  }
  while (!firstLine.empty() && IsLineBreak(firstLine.front())) firstLine.remove_prefix(1);
  if (firstLine.substr(0, 5) != "<?xml") {
    return Refuse(1, Message(MessageId::kNoXmlDeclaration), error);
  }

  // Skip the declaration and the line breaks after it.
  LineCounter lines(content);
  size_t pos = content.find('>');
  if (pos == std::string_view::npos) {
    return Refuse(1, Message(MessageId::kEndsInDeclaration), error);
  }
  pos++;
  while (pos < content.size() && IsLineBreak(content[pos])) pos++;

  TreeBuilder builder(tree);
  while (pos < content.size()) {
    char c = content[pos++];
    if (c != '<') {
      builder.Text(c);
      continue;
    }
    builder.EndOfText();
    size_t tagStart = pos - 1;
    size_t gt = content.find('>', pos);
    if (gt == std::string_view::npos) {
      const std::string_view rest = content.substr(tagStart);
      const std::string name = TagName(rest);
      return Refuse(lines.At(tagStart),
                    StartsWithNoCase(rest, kCdataOpen) ? Message(MessageId::kEndsInCdata)
                    : name == "<>"                     ? Message(MessageId::kEndsInTag)
                                                       : Message(MessageId::kEndsInNamedTag, {name}),
                    error);
    }
    pos = gt + 1;
    std::string_view tag = content.substr(tagStart, pos - tagStart);

    if (StartsWithNoCase(tag, kCdataOpen)) {
      // The section runs to the first "]]>" that ends at or after the first
      // ">" (that one cannot end it, since the tag does not end in "]]>").
      std::string_view body;
      if (tag.size() >= kCdataOpen.size() + kCdataClose.size() &&
          tag.substr(tag.size() - kCdataClose.size()) == kCdataClose) {
        body = tag.substr(kCdataOpen.size(), tag.size() - kCdataOpen.size() - kCdataClose.size());
      } else {
        size_t close = content.find(kCdataClose, pos);
        if (close == std::string_view::npos) {
          return Refuse(lines.At(tagStart), Message(MessageId::kEndsInCdata), error);
        }
        body = content.substr(tagStart + kCdataOpen.size(), close - tagStart - kCdataOpen.size());
        pos = close + kCdataClose.size();
      }
      builder.Cdata(body);
      continue;
    }
    if (tag.size() > 3 && tag[1] == '/') {
      builder.Close();
    } else if (tag.size() > 3 && tag[tag.size() - 2] == '/') {
      builder.Empty(tag, lines.At(tagStart));
    } else {
      builder.Open(tag, lines.At(tagStart));
    }
  }
  if (tree->nodes.empty()) return Refuse(0, Message(MessageId::kNoElement), error);
  tree->unclosed = builder.InnermostOpen();
  return true;
}

size_t DefinitionsFromTree(const MarkupTree& tree, std::vector<DefinitionRecord>* rows,
                           size_t* items) {
  if (items != nullptr) *items = 0;
  if (tree.nodes.empty()) return 0;
  const MarkupNode& root = tree.Root();
  if (root.firstChild == MarkupNode::kNone || !EqualNoCase(root.tag, "<replace>")) return 0;
  size_t added = 0;
  for (size_t item = root.firstChild; item != MarkupNode::kNone; item = tree.nodes[item].next) {
    if (!EqualNoCase(tree.nodes[item].tag, "<item>")) continue;
    if (items != nullptr) (*items)++;
    DefinitionRecord record;
    for (size_t field = tree.nodes[item].firstChild; field != MarkupNode::kNone;
         field = tree.nodes[field].next) {
      const MarkupNode& node = tree.nodes[field];
      if (EqualNoCase(node.tag, "<old>")) {
        record.find = node.text;
      } else if (EqualNoCase(node.tag, "<new>")) {
        record.replace = node.text;
      }
    }
    if (record.find.empty()) continue;
    rows->push_back(std::move(record));
    added++;
  }
  return added;
}

bool LoadDefinitionFile(const std::string& path, std::vector<DefinitionRecord>* rows,
                        DefinitionFileError* error, size_t* items) {
  if (items != nullptr) *items = 0;
  *error = DefinitionFileError();
  std::string content;
  if (!ReadWholeFile(path, &content, &error->reason)) {
    error->message = error->reason;
    return false;
  }
  MarkupTree tree;
  bool whole = ParseMarkupText(content, &tree, error);
  if (whole && !EqualNoCase(tree.Root().tag, "<replace>")) {
    whole = Refuse(tree.Root().line,
                   Message(MessageId::kRootNotReplace, {TagName(tree.Root().tag)}), error);
  }
  // An element still open means the file was cut off: its last item would
  // load as a definition it never finished, "replace with nothing" at worst.
  if (whole && tree.unclosed != MarkupNode::kNone) {
    const MarkupNode& open = tree.nodes[tree.unclosed];
    whole = Refuse(open.line, Message(MessageId::kEndsBeforeClosed, {TagName(open.tag)}), error);
  }
  if (!whole) {
    const Message where = error->line > 0 ? Message(MessageId::kDefinitionFileLine,
                                                    {path, std::to_string(error->line)})
                                          : Message(MessageId::kDefinitionFileWhole, {path});
    error->message = where.Because(error->reason);
    return false;
  }
  DefinitionsFromTree(tree, rows, items);
  return true;
}

bool CarriedDefinitionFilePath(std::string* path, Message* error) {
  std::string dir;
  if (!PrivateTempDir(&dir, error)) return false;
  *path = dir + "/_tqmix_tmp_map.xml";
  return true;
}

bool LoadCarriedDefinitions(std::vector<DefinitionRecord>* rows, DefinitionFileError* error,
                            std::string* movedTo) {
  movedTo->clear();
  *error = DefinitionFileError();
  std::string path;
  if (!CarriedDefinitionFilePath(&path, &error->reason)) {
    error->message = error->reason;
    return false;
  }
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) return true;
  if (LoadDefinitionFile(path, rows, error)) return true;
  // Moved aside, never over an earlier damaged file: its bytes may be all
  // that is left of a list the user still wants.
  Message moveError(MessageId::kEveryNameTaken);
  for (int n = 1; n <= 100; n++) {
    std::string aside = path + ".damaged" + (n > 1 ? "." + std::to_string(n) : "");
    if (lstat(aside.c_str(), &st) == 0) continue;
    if (MoveNoReplace(path, aside, &moveError)) *movedTo = aside;
    break;
  }
  if (movedTo->empty()) {
    error->message = error->message.Then(Message(MessageId::kNotMovedAside).Because(moveError));
  }
  return false;
}

bool SaveCarriedDefinitions(FileRewriter& rewriter, const std::vector<DefinitionRecord>& rows,
                            Message* error) {
  std::string path;
  if (!CarriedDefinitionFilePath(&path, error)) return false;
  return SaveDefinitionFile(rewriter, path, rows, error);
}

bool SaveCarriedDefinitions(const std::vector<DefinitionRecord>& rows, Message* error) {
  return SaveCarriedDefinitions(DefaultFileRewriter(), rows, error);
}

}  // namespace strbatch

// XML definition files: the writer that exports a definition list, the
// tolerant reader that imports one, and the carried definition file that
// keeps the list from one run to the next. Texts are code page bytes and are
// never escaped; a file this program wrote loads back with identical texts.
#ifndef STRBATCH_LISTS_DEFINITION_FILE_H_
#define STRBATCH_LISTS_DEFINITION_FILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/safe_file.h"
#include "lists/definition_list.h"

namespace strbatch {

// One element of a markup tree. Nodes live in MarkupTree::nodes and refer to
// each other by index.
struct MarkupNode {
  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::string tag;   // the opening tag as written, "<" to ">" inclusive
  std::string text;  // the element's text content
  size_t line = 0;   // the line its opening tag starts on, from 1
  size_t next = kNone;
  size_t firstChild = kNone;
  size_t lastChild = kNone;
};

struct MarkupTree {
  std::vector<MarkupNode> nodes;  // nodes[0] is the root
  // The innermost element still open at the end of the text (the text was
  // cut off, or an element lacks its closing tag), else kNone.
  size_t unclosed = MarkupNode::kNone;
  const MarkupNode& Root() const { return nodes.front(); }
};

// The bytes of a definition file holding rows in order (checked or not).
std::string FormatDefinitionFile(const std::vector<DefinitionRecord>& rows);

// Writes FormatDefinitionFile(rows) to path, all-or-nothing. False, with a
// reason and any earlier file untouched, when it cannot be written.
bool SaveDefinitionFile(FileRewriter& rewriter, const std::string& path,
                        const std::vector<DefinitionRecord>& rows, Message* error);
bool SaveDefinitionFile(const std::string& path, const std::vector<DefinitionRecord>& rows,
                        Message* error);

// Why a definition file was refused: the line at fault (from 1; 0 when the
// file as a whole is: it cannot be read, is empty or holds no element), the
// reason, and the message a user reads, naming the file, line and reason.
struct DefinitionFileError {
  size_t line = 0;
  Message reason;
  Message message;
};

// Builds the element tree of a definition file. False (no tree), with the
// line and the reason in *error, when the text does not start with an XML
// declaration, holds no element, or ends inside a tag or a CDATA section. An
// element left open at the end is no parse error; tree->unclosed names it.
bool ParseMarkupText(std::string_view content, MarkupTree* tree, DefinitionFileError* error);

// Appends the definitions of a tree whose root is "<replace>" to rows, in
// file order; items without a find string are skipped. Returns the number
// appended; *items (when given) receives the number of items read, skipped
// ones included.
size_t DefinitionsFromTree(const MarkupTree& tree, std::vector<DefinitionRecord>* rows,
                           size_t* items = nullptr);

// Appends the definitions of a definition file to rows, which the caller
// adds as checked rows with empty counts; *items as for DefinitionsFromTree.
// A file is taken whole or not at all: false, with *error and rows
// untouched, when it cannot be read, is empty, fails ParseMarkupText, has a
// root other than <replace> (ASCII case ignored) or an element left open.
bool LoadDefinitionFile(const std::string& path, std::vector<DefinitionRecord>* rows,
                        DefinitionFileError* error, size_t* items = nullptr);

// The carried definition file "_tqmix_tmp_map.xml" in the private temporary
// directory. Saving replaces the file all-or-nothing, also for an empty list.
bool CarriedDefinitionFilePath(std::string* path, Message* error);
// Loading appends to rows; a missing file (the first run) appends nothing and
// is no fault. A file that is refused is moved aside to "<name>.damaged"
// (".damaged.2" and on when that exists) so that no later save overwrites
// it: false, with *error, and *movedTo the new name, or empty when the file
// could not be moved (and is still in the way of a save).
bool LoadCarriedDefinitions(std::vector<DefinitionRecord>* rows, DefinitionFileError* error,
                            std::string* movedTo);
bool SaveCarriedDefinitions(FileRewriter& rewriter, const std::vector<DefinitionRecord>& rows,
                            Message* error);
bool SaveCarriedDefinitions(const std::vector<DefinitionRecord>& rows, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_LISTS_DEFINITION_FILE_H_

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

// The full find and replace string of one definition row.
// One element of a markup tree. Nodes live in MarkupTree::nodes and refer to
// each other by index.
struct MarkupNode {
  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::string tag;   // the opening tag as written, "<" to ">" inclusive
  std::string text;  // the element's text content
  size_t next = kNone;
  size_t firstChild = kNone;
  size_t lastChild = kNone;
};

struct MarkupTree {
  std::vector<MarkupNode> nodes;  // nodes[0] is the root
  const MarkupNode& Root() const { return nodes.front(); }
};

// The bytes of a definition file holding rows in order (checked or not).
std::string FormatDefinitionFile(const std::vector<DefinitionRecord>& rows);

// Writes FormatDefinitionFile(rows) to path, all-or-nothing. False, with a
// reason and any earlier file untouched, when it cannot be written.
bool SaveDefinitionFile(FileRewriter& rewriter, const std::string& path,
                        const std::vector<DefinitionRecord>& rows, std::string* error);
bool SaveDefinitionFile(const std::string& path, const std::vector<DefinitionRecord>& rows,
                        std::string* error);

// Builds the element tree of a definition file. False (no tree) when the text
// does not start with an XML declaration or holds no element.
bool ParseMarkupText(std::string_view content, MarkupTree* tree);
// The same for a file; false also when it cannot be read.
bool ParseMarkupTree(const std::string& path, MarkupTree* tree);

// Appends the definitions of a tree whose root is "<replace>" to rows, in
// file order; items without a find string are skipped. Returns the number
// appended; *items (when given) receives the number of items read, skipped
// ones included.
size_t DefinitionsFromTree(const MarkupTree& tree, std::vector<DefinitionRecord>* rows,
                           size_t* items = nullptr);

// Appends the definitions of a definition file to rows; a file that cannot be
// read or is not a definition file appends nothing. The caller adds them as
// checked rows with empty counts. Returns the number appended; *items as
// for DefinitionsFromTree.
size_t LoadDefinitionFile(const std::string& path, std::vector<DefinitionRecord>* rows,
                          size_t* items = nullptr);

// The carried definition file "_tqmix_tmp_map.xml" in the private temporary
// directory. Loading appends; a missing file appends nothing. Saving replaces
// the file all-or-nothing, also for an empty list.
bool CarriedDefinitionFilePath(std::string* path, std::string* error);
size_t LoadCarriedDefinitions(std::vector<DefinitionRecord>* rows);
bool SaveCarriedDefinitions(FileRewriter& rewriter, const std::vector<DefinitionRecord>& rows,
                            std::string* error);
bool SaveCarriedDefinitions(const std::vector<DefinitionRecord>& rows, std::string* error);

}  // namespace strbatch

#endif  // STRBATCH_LISTS_DEFINITION_FILE_H_

// Feeds arbitrary bytes to the definition file reader, and checks that every
// definition it yields, and the input itself taken as a definition, survives
// a save and a load unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "lists/definition_file.h"

namespace {

std::vector<strbatch::DefinitionRecord> LoadFromText(std::string_view content) {
  strbatch::MarkupTree tree;
  strbatch::DefinitionFileError error;
  std::vector<strbatch::DefinitionRecord> rows;
  if (strbatch::ParseMarkupText(content, &tree, &error) &&
      tree.unclosed == strbatch::MarkupNode::kNone) {
    strbatch::DefinitionsFromTree(tree, &rows);
  }
  return rows;
}

void ExpectRoundTrip(const std::vector<strbatch::DefinitionRecord>& rows) {
  std::vector<strbatch::DefinitionRecord> back =
      LoadFromText(strbatch::FormatDefinitionFile(rows));
  size_t expected = 0;
  for (const auto& row : rows) {
    if (row.find.empty()) continue;
    if (expected >= back.size() || back[expected].find != row.find ||
        back[expected].replace != row.replace) {
      abort();
    }
    expected++;
  }
  if (expected != back.size()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  ExpectRoundTrip(LoadFromText(input));
  size_t half = size / 2;
  ExpectRoundTrip({{std::string(input.substr(0, half)), std::string(input.substr(half))}});
  return 0;
}

// Private profile (INI) files: "[section]" lines followed by "key=value"
// lines. Sections and keys match without regard to ASCII case; the first
// matching section, and in it the first matching key, is the one that counts.
// Nothing is cached: every call reads the file anew. Values are code page
// bytes. Writes replace the file all-or-nothing, keeping every other line.
#ifndef STRBATCH_BASE_PROFILE_H_
#define STRBATCH_BASE_PROFILE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/safe_file.h"

namespace strbatch {

// Files larger than this are not profiles: reading them gives the defaults
// and writing to them is refused (they are left as they are).
inline constexpr size_t kMaxProfileBytes = 16 * 1024 * 1024;

// The value of key in section of profile text, or defaultValue when the
// section or the key is missing. The value is the text after the first "=",
// blanks (space, tab) removed from both ends and one pair of enclosing
// quotes (" or ') dropped, then cut to at most limit bytes without splitting
// a double-byte character of the process code page.
std::string GetProfileStringFromText(std::string_view content, std::string_view section,
                                     std::string_view key, std::string_view defaultValue,
                                     size_t limit);

// The same read from a file; a missing, unreadable, oversized or non-regular
// file gives defaultValue.
std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view defaultValue, size_t limit);

// A decimal integer value (optional sign, digits only). A missing key, or a
// value that is not such a number or does not fit an int, gives defaultValue.
int GetProfileInt(const std::string& path, std::string_view section, std::string_view key,
                  int defaultValue);

// Sets key to value in section of profile text, keeping every other line:
// the first matching key line is replaced; without one the line is added
// after the last key of the first matching section; without that section, the
// section is appended. A value that the reader would change (blanks at
// either end, enclosing quotes) is written inside quotes so that it reads back
// as given. False, with content untouched, when the names or the value
// cannot be expressed in this format (line breaks, "]" in a section name,
// "=" in a key, an empty name, blanks around a name).
bool SetProfileValue(std::string* content, std::string_view section, std::string_view key,
                     std::string_view value);

struct ProfileEntry {
  std::string key;
  std::string value;
};

// Sets the entries, in order, in section of the file with one all-or-nothing
// rewrite; a missing file is created. False, with a reason and the file
// untouched, when the file exists but cannot be read, is not a regular file
// or too large, an entry cannot be expressed, or the rewrite fails.
bool WriteProfileStrings(FileRewriter& rewriter, const std::string& path,
                         std::string_view section, const std::vector<ProfileEntry>& entries,
                         Message* error);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, Message* error);

}  // namespace strbatch

#endif  // STRBATCH_BASE_PROFILE_H_

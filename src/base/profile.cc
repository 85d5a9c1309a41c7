#include "base/profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "base/ascii.h"
#include "base/code_page.h"

namespace strbatch {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum class LineKind { kOther, kSection, kKey };

struct ProfileLine {
  size_t start = 0;  // first byte of the line
  size_t end = 0;    // end of its text, before the line break
  size_t next = 0;   // start of the following line
  LineKind kind = LineKind::kOther;
  std::string_view name;   // section name or key, blanks trimmed
  std::string_view value;  // raw text after the first "="
};

ProfileLine ClassifyLine(std::string_view content, size_t start, size_t end, size_t next) {
  ProfileLine line;
  line.start = start;
  line.end = end;
  line.next = next;
  std::string_view text = content.substr(start, end - start);
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  if (text.empty() || text.front() == ';') return line;
  if (text.front() == '[') {
    text.remove_prefix(1);
    line.kind = LineKind::kSection;
    line.name = TrimBlanks(text.substr(0, text.find(']')));
    return line;
  }
  size_t equals = text.find('=');
  if (equals == std::string_view::npos) return line;
  line.kind = LineKind::kKey;
  line.name = TrimBlanks(text.substr(0, equals));
  line.value = text.substr(equals + 1);
  return line;
}

// Calls visit for every line until it returns false. Lines end at LF; a CR
// before the LF is not part of the text. A UTF-8 byte-order mark written by
// an editor is not part of the first line.
template <typename Visit>
void ForEachLine(std::string_view content, Visit visit) {
  size_t pos = content.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (pos < content.size()) {
    size_t lf = content.find('\n', pos);
    size_t end = lf == std::string_view::npos ? content.size() : lf;
    size_t next = lf == std::string_view::npos ? content.size() : lf + 1;
    if (end > pos && content[end - 1] == '\r') end--;
    if (!visit(ClassifyLine(content, pos, end, next))) return;
    pos = next;
  }
}

// The first line of key inside the first section named section.
bool FindKeyLine(std::string_view content, std::string_view section, std::string_view key,
                 ProfileLine* found) {
  bool inSection = false;
  bool seenSection = false;
  bool hit = false;
  ForEachLine(content, [&](const ProfileLine& line) {
    if (line.kind == LineKind::kSection) {
      if (inSection) return false;
      if (!seenSection && EqualNoCase(line.name, section)) inSection = seenSection = true;
      return true;
    }
    if (inSection && line.kind == LineKind::kKey && EqualNoCase(line.name, key)) {
      *found = line;
      hit = true;
      return false;
    }
    return true;
  });
  return hit;
}

std::string_view UnquoteValue(std::string_view raw) {
  std::string_view value = TrimBlanks(raw);
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\'')) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

// Cuts text to at most limit bytes without leaving half a character behind.
std::string_view CutAtLimit(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  const CodePage& codePage = CodePage::Process();
  size_t pos = 0;
  while (pos < text.size()) {
    size_t next = codePage.NextChar(text, pos);
    if (next > limit) break;
    pos = next;
  }
  return text.substr(0, pos);
}

bool ParseDecimalInt(std::string_view text, int* out) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  *out = static_cast<int>(value);
  return true;
}

// Reads a profile file. A missing file is not an error: it reads as empty
// with *exists false.
bool ReadProfileFile(const std::string& path, std::string* content, bool* exists,
                     Message* error) {
  content->clear();
  *exists = false;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  *exists = true;
  // A FIFO or device would block or never end; only regular files are read.
  if (!S_ISREG(st.st_mode)) {
    *error = Message(S_ISDIR(st.st_mode) ? MessageId::kIsDirectory : MessageId::kNotRegularFile,
                     {path});
    return false;
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxProfileBytes) {
    *error = Message(MessageId::kTooLargeForSettings, {path});
    return false;
  }
  if (!ReadWholeFile(path, content, error)) return false;
  if (content->size() > kMaxProfileBytes) {
    content->clear();
    *error = Message(MessageId::kTooLargeForSettings, {path});
    return false;
  }
  return true;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsWritableName(std::string_view name) {
  return !name.empty() && !HasLineBreak(name) && !IsBlank(name.front()) && !IsBlank(name.back());
}

std::string FormatValue(std::string_view value) {
  bool needsQuotes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                        UnquoteValue(value).size() != value.size());
  if (!needsQuotes) return std::string(value);
  return "\"" + std::string(value) + "\"";
}

// Gives an unterminated last line its line break. A CR that ends the file
// was never part of that line's text, so it becomes the break's CR.
void EndLastLine(std::string* content, const char* lineBreak) {
  if (content->empty() || content->back() == '\n') return;
  *content += content->back() == '\r' ? "\n" : lineBreak;
}

}  // namespace

std::string GetProfileStringFromText(std::string_view content, std::string_view section,
                                     std::string_view key, std::string_view defaultValue,
                                     size_t limit) {
  ProfileLine line;
  if (!FindKeyLine(content, section, key, &line)) {
    return std::string(CutAtLimit(defaultValue, limit));
  }
  return std::string(CutAtLimit(UnquoteValue(line.value), limit));
}

std::string GetProfileString(const std::string& path, std::string_view section,
                             std::string_view key, std::string_view defaultValue, size_t limit) {
  std::string content;
  Message error;
  bool exists = false;
  if (!ReadProfileFile(path, &content, &exists, &error)) content.clear();
  return GetProfileStringFromText(content, section, key, defaultValue, limit);
}

int GetProfileInt(const std::string& path, std::string_view section, std::string_view key,
                  int defaultValue) {
  std::string text = GetProfileString(path, section, key, "", kMaxProfileBytes);
  int value = 0;
  return ParseDecimalInt(text, &value) ? value : defaultValue;
}

bool SetProfileValue(std::string* content, std::string_view section, std::string_view key,
                     std::string_view value) {
  if (!IsWritableName(section) || section.find(']') != std::string_view::npos) return false;
  if (!IsWritableName(key) || key.find('=') != std::string_view::npos || key.front() == '[' ||
      key.front() == ';') {
    return false;
  }
  if (HasLineBreak(value)) return false;

  const char* lineBreak = content->find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::string keyLine = std::string(key) + "=" + FormatValue(value);

  ProfileLine existing;
  if (FindKeyLine(*content, section, key, &existing)) {
    content->replace(existing.start, existing.end - existing.start, keyLine);
    return true;
  }

  // Where the new key goes: after the last key line of the section, or after
  // its header, so that comments and blank lines before the next section stay
  // with that section.
  bool inSection = false;
  bool seenSection = false;
  ProfileLine last;
  ForEachLine(*content, [&](const ProfileLine& line) {
    if (line.kind == LineKind::kSection) {
      if (inSection) return false;
      if (!seenSection && EqualNoCase(line.name, section)) {
        inSection = seenSection = true;
        last = line;
      }
      return true;
    }
    if (inSection && line.kind == LineKind::kKey) last = line;
    return true;
  });

  if (seenSection) {
    if ((*content)[last.next - 1] == '\n') {
      content->insert(last.next, keyLine + lineBreak);
    } else {
      // Only the file's last line can lack its line break.
      EndLastLine(content, lineBreak);
      *content += keyLine + lineBreak;
    }
    return true;
  }

  EndLastLine(content, lineBreak);
  *content += "[" + std::string(section) + "]" + lineBreak + keyLine + lineBreak;
  return true;
}

bool WriteProfileStrings(FileRewriter& rewriter, const std::string& path,
                         std::string_view section, const std::vector<ProfileEntry>& entries,
                         Message* error) {
  std::string content;
  bool exists = false;
  if (!ReadProfileFile(path, &content, &exists, error)) return false;
  for (const ProfileEntry& entry : entries) {
    if (!SetProfileValue(&content, section, entry.key, entry.value)) {
      *error = Message(MessageId::kCannotStoreKey, {entry.key, path});
      return false;
    }
  }
  return RewriteFile(rewriter, path, content, error);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, Message* error) {
  return WriteProfileStrings(DefaultFileRewriter(), path, section,
                             {ProfileEntry{std::string(key), std::string(value)}}, error);
}

}  // namespace strbatch

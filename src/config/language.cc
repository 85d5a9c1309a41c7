#include "config/language.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/code_page.h"
#include "base/paths.h"
#include "base/profile.h"
#include "base/safe_file.h"

namespace strbatch {
namespace {

std::string g_resourceDirectory;

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Turns the two characters "\n" into a line break. Walks whole characters so
// that a double-byte character whose second byte is a backslash stays intact.
std::string DecodeLineBreaks(const std::string& value) {
  if (value.find('\\') == std::string::npos) return value;
  const CodePage& codePage = CodePage::Process();
  std::string out;
  out.reserve(value.size());
  size_t pos = 0;
  while (pos < value.size()) {
    if (value[pos] == '\\' && pos + 1 < value.size() && value[pos + 1] == 'n') {
      out += '\n';
      pos += 2;
      continue;
    }
    size_t next = codePage.NextChar(value, pos);
    out.append(value, pos, next - pos);
    pos = next;
  }
  return out;
}

}  // namespace

void SetResourceDirectory(const std::string& directory) { g_resourceDirectory = directory; }

std::string ResourceFilePath(const std::string& fileName) {
  if (!g_resourceDirectory.empty()) return g_resourceDirectory + "/" + fileName;
  if (const char* data = std::getenv("STRBATCH_DATA_DIR"); data != nullptr && *data != '\0') {
    return std::string(data) + "/" + fileName;
  }
  std::string programDirectory = ProgramDirectory();
  std::string beside = programDirectory + "/" + fileName;
  if (FileExists(beside)) return beside;
  std::string installed = programDirectory + "/../share/strbatch/" + fileName;
  return FileExists(installed) ? installed : beside;
}

std::string HelpFilePath(Language language) {
  return ResourceFilePath(language == Language::English ? "rep_help_en.htm" : "rep_help.htm");
}

bool FindHelpFile(Language language, std::string* path) {
  *path = HelpFilePath(language);
  return FileExists(*path);
}

std::string LanguageCatalog::FilePath() const {
  return ResourceFilePath(language_ == Language::English ? "english.lang" : "chinese.lang");
}

const std::string& LanguageCatalog::Content() const {
  const std::string path = FilePath();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<size_t>(st.st_size) > kMaxProfileBytes) {
    cachedPath_.clear();
    content_.clear();
    return content_;
  }
  if (path != cachedPath_ || st.st_ino != cachedInode_ || st.st_size != cachedSize_ ||
      st.st_mtim.tv_sec != cachedTime_.tv_sec || st.st_mtim.tv_nsec != cachedTime_.tv_nsec) {
    strbatch::Message error;
    if (!ReadWholeFile(path, &content_, &error)) content_.clear();
    cachedPath_ = path;
    cachedInode_ = st.st_ino;
    cachedSize_ = st.st_size;
    cachedTime_ = st.st_mtim;
  }
  return content_;
}

std::string LanguageCatalog::Value(std::string_view section, std::string_view key,
                                   size_t limit) const {
  return DecodeLineBreaks(GetProfileStringFromText(Content(), section, key, "", limit));
}

std::string LanguageCatalog::Text(std::string_view key) const {
  return Value("string", key, kTextLimit);
}

std::string LanguageCatalog::Message(std::string_view key,
                                     std::initializer_list<std::string> args) const {
  return Message(key, std::vector<std::string>(args));
}

std::string LanguageCatalog::Message(std::string_view key,
                                     const std::vector<std::string>& args) const {
  std::string text;
  CodePage::Process().ToUtf8(Text(key), &text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : args.size();
    if (text[i] == '%' && n < args.size() && n < 9) {
      out += args[n];
      i++;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string LanguageCatalog::DialogCaption(std::string_view section) const {
  return Value(section, "caption", kTextLimit);
}

std::string LanguageCatalog::ControlCaption(std::string_view section, int controlId) const {
  return Value(section, std::to_string(controlId), kCaptionLimit);
}

std::string LanguageCatalog::ColumnTitle(std::string_view key) const {
  return Value("dialog_main", key, kCaptionLimit);
}

}  // namespace strbatch

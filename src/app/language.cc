#include "app/language.h"

#include <unistd.h>

#include "app/code_page.h"
#include "app/paths.h"
#include "app/profile.h"

namespace strbatch {
namespace {

int g_interfaceLanguage = 0;
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

int InterfaceLanguage() { return g_interfaceLanguage; }

void SetInterfaceLanguage(int language) { g_interfaceLanguage = language; }

void SetResourceDirectory(const std::string& directory) { g_resourceDirectory = directory; }

std::string ResourceFilePath(const std::string& fileName) {
  if (!g_resourceDirectory.empty()) return g_resourceDirectory + "/" + fileName;
  std::string programDirectory = ProgramDirectory();
  std::string beside = programDirectory + "/" + fileName;
  if (FileExists(beside)) return beside;
  std::string installed = programDirectory + "/../share/strbatch/" + fileName;
  return FileExists(installed) ? installed : beside;
}

std::string LanguageFilePath() {
  return ResourceFilePath(g_interfaceLanguage != 0 ? "english.lang" : "chinese.lang");
}

std::string GetText(const std::string& key) {
  return GetLanguageValue("string", key, kTextLimit);
}

std::string MessageText(const std::string& key, std::initializer_list<std::string> args) {
  std::string text;
  CodePage::Process().ToUtf8(GetText(key), &text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : args.size();
    if (text[i] == '%' && n < args.size() && n < 9) {
      out += args.begin()[n];
      i++;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string GetLanguageValue(const std::string& section, const std::string& key, size_t limit) {
  return DecodeLineBreaks(GetProfileString(LanguageFilePath(), section, key, "", limit));
}

std::string GetDialogCaption(const std::string& section) {
  return GetLanguageValue(section, "caption", kTextLimit);
}

std::string GetControlCaption(const std::string& section, int controlId) {
  return GetLanguageValue(section, std::to_string(controlId), kCaptionLimit);
}

std::string GetColumnTitle(const std::string& key) {
  return GetLanguageValue("dialog_main", key, kCaptionLimit);
}

std::string HelpFilePath(int language) {
  return ResourceFilePath(language == 1 ? "rep_help_en.htm" : "rep_help.htm");
}

bool FindHelpFile(int language, std::string* path) {
  *path = HelpFilePath(language);
  return FileExists(*path);
}

}  // namespace strbatch

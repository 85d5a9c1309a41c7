// Gathering paths for the file list: folder scans with wildcard patterns,
// the case-insensitive path sort, and the collection rules of the two add
// commands. Plain functions over path vectors; the file list appends the
// result as checked rows.
#ifndef STRBATCH_LISTS_FOLDER_SCAN_H_
#define STRBATCH_LISTS_FOLDER_SCAN_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace strbatch {

// Appends to result the files of folder whose names match pattern ("*" any
// run, "?" one byte, ASCII letters without regard to case, a leading dot
// matched like any byte; "*.*" is every file), as full paths or, without fullPaths, as bare names. With
// recursive, subfolders (hidden ones too) follow their parent's own files.
// Only regular files are taken, symbolic links followed; each directory is
// walked once, so link loops end. Unreadable folders add nothing; each is
// added to *unreadable (when given) with the system's errno, and the walk
// goes on with the rest.
// keepGoing (when given) is asked before every folder with the number of
// files found so far; false ends the walk (what was found stays).
using ScanProgress = std::function<bool(size_t found)>;
struct UnreadableFolder {
  std::string path;
  int osError = 0;  // errno: a front end words it
};
void ScanFolder(std::vector<std::string>* result, const std::string& folder,
                const std::string& pattern, bool recursive, bool fullPaths,
                const ScanProgress& keepGoing = nullptr,
                std::vector<UnreadableFolder>* unreadable = nullptr);

// Sorts ascending by bytes with ASCII letters folded to lower case (other
// bytes unsigned); equal paths keep their order.
void SortPathsNoCase(std::vector<std::string>* paths);

// The patterns of a pattern text: pieces between "," and ";", empty ones
// dropped; "*" (every file) when none remain.
std::vector<std::string> SplitFilePatterns(const std::string& text);

// The add-folder collection: each pattern scanned in order with full paths,
// everything sorted together. A file that two patterns match comes once.
// A folder that cannot be read is named once in *unreadable.
std::vector<std::string> CollectFolderFiles(const std::string& folder,
                                            const std::string& patternText, bool recursive,
                                            const ScanProgress& keepGoing = nullptr,
                                            std::vector<UnreadableFolder>* unreadable = nullptr);

// One add-files command takes at most this many files.
inline constexpr size_t kAddFilesLimit = 1000;

struct ChosenFiles {
  std::vector<std::string> paths;  // sorted
  bool limitReached = false;       // show the limit message (key::kTooManyFiles) once
};

// The add-files collection: the first kAddFilesLimit chosen paths in the
// dialog's order, then sorted. The limit counts as reached when the last
// allowed path was collected, also when exactly that many were chosen.
ChosenFiles CollectChosenFiles(const std::vector<std::string>& chosen);

}  // namespace strbatch

#endif  // STRBATCH_LISTS_FOLDER_SCAN_H_

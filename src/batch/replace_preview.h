// A batch replace computed but not written: what each file would become, as
// changes the user accepts or skips one by one, and the writing of the
// accepted ones afterwards. The replace runs through BatchRunner exactly as
// a batch replace does (definition order, expressions, per-file encodings,
// office documents); only the results are kept instead of written.
#ifndef STRBATCH_BATCH_REPLACE_PREVIEW_H_
#define STRBATCH_BATCH_REPLACE_PREVIEW_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/batch_host.h"
#include "base/code_page.h"
#include "base/file_fingerprint.h"
#include "base/safe_file.h"
#include "base/text_encoding.h"
#include "batch/batch_driver.h"
#include "batch/text_diff.h"
#include "config/options.h"
#include "lists/definition_list.h"
#include "lists/file_list.h"
#include "office/office_bridge.h"

namespace strbatch {

// A change as it lies in the file on disk: its bytes there (byte-order
// mark counted) and the bytes that take their place.
struct DiskChange {
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string_view newBytes;
};

struct FilePreview {
  size_t row = 0;
  std::string path;
  FileEncoding encoding = FileEncoding::CodePage;
  const CodePage* codePage = nullptr;  // the character rules of the two texts
  FileFingerprint fingerprint;         // the file when it was read
  std::string original;                // the work text before and after
  std::string result;
  // The changes in the work text (the file decoded), in increasing order.
  std::vector<TextChange> changes;
  size_t markLength = 0;  // the byte-order mark before the work text on disk
  // UTF-16 files: each change as the file holds it (other files hold the
  // work text itself).
  std::vector<DiskChange> encoded;
  std::vector<std::string> encodedBytes;
  // An office document: its replaced copy, put in place of the document
  // when its changes are accepted (all of them or none; the changes are
  // its texts that differ and have no place on disk).
  std::string documentCopy;
  OfficeKind kind = OfficeKind::None;  // a document's: how its lines are cut
  bool IsDocument() const { return !documentCopy.empty(); }
};

class ReplacePreview {
 public:
  ReplacePreview() = default;
  // Removes the documents' copies.
  ~ReplacePreview();
  ReplacePreview(const ReplacePreview&) = delete;
  ReplacePreview& operator=(const ReplacePreview&) = delete;

  // Called with each file that has changes, in file order, as soon as it is
  // computed; without it the files are kept in files().
  std::function<void(FilePreview&)> onFile;

  // Runs the batch replace of the checked files and definitions of the lists
  // as a dry run: nothing is written, nothing asked, nothing backed up. The
  // count columns get what a replace would count. Warnings, progress and
  // cancellation go through host. Gives how the run ended.
  BatchRunner::RunEnd Compute(FileList& files, DefinitionList& definitions,
                              const Options& options, BatchHost& host,
                              OfficeBridge* office = nullptr);

  // The number (from 1) of the last file row the run reached.
  size_t LastRowReached() const { return lastRowReached_; }

  const std::vector<FilePreview>& files() const { return files_; }
  std::vector<FilePreview>& files() { return files_; }

 private:
  class Writer;
  void Add(FilePreview file);
  std::vector<FilePreview> files_;
  std::string copyFolder_;  // private folder of the documents' copies
  size_t lastRowReached_ = 0;
};

// The lines of the result against the original around the changes.
std::vector<LineBlock> FileLineBlocks(const FilePreview& file);

// Change k as it lies in the file on disk (valid while file lives).
DiskChange OnDisk(const FilePreview& file, size_t k);

// The bytes change k replaces, as the file holds them (for their checksum).
std::string OldBytes(const FilePreview& file, size_t k);

// How the writing of one file's accepted changes ended.
enum class ApplyOutcome {
  kApplied,     // written (with a backup first when asked for)
  kNothing,     // no change was accepted; the file is left alone
  kChanged,     // the file is no longer what was previewed; left alone
  kRefused,     // the changes do not fit the file (overlap, outside, old bytes differ)
  kFailed,      // it could not be written (the reason says why); left as it was
};

// Writes the changes of preview that accepted marks (one flag per change)
// through rewriter, all-or-nothing, after a backup copy when backup is set.
// A file whose fingerprint moved on since the preview is left alone, and so
// is a document of which only some changes are accepted.
ApplyOutcome ApplyFilePreview(const FilePreview& preview, const std::vector<bool>& accepted,
                              bool backup, FileRewriter& rewriter, Message* error);

// A change as a reviewed plan lists it.
struct PlannedChange {
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string newBytes;
  std::string oldSha256;
  uint64_t line = 1;  // where the change begins, from 1
};

// One file of a reviewed plan: what the file was when the plan was made
// and the changes to write into it.
struct PlannedFile {
  std::string path;
  std::string encoding;  // as FileEncodingName names it
  std::string sha256;    // of the whole file
  std::vector<PlannedChange> changes;
};

// Writes the planned changes into the file. Left alone (kChanged) when the
// file's bytes are no longer those the plan was made from; refused when the
// plan's encoding cannot be the file's, a change lies outside the file, its
// old bytes are not those on disk, or changes overlap.
ApplyOutcome ApplyPlannedChanges(const PlannedFile& plan, bool backup, FileRewriter& rewriter,
                                 Message* error);

// Text (UTF-8) as bytes of a file in encoding, as the names of
// FileEncodingName give them. False when a character cannot be held.
bool EncodeForFile(std::string_view utf8, std::string_view encoding, std::string* bytes);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_REPLACE_PREVIEW_H_

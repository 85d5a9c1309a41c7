#include "batch/backup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "config/language.h"
#include "config/text_keys.h"
#include "lists/file_identity.h"

namespace strbatch {
namespace {

// The loop shared by restore and clear: progress message "<text>r/n", a
// cancel check before every row, unchecked rows and later namings of a file
// passed over. The action returns true when it handled the row's backup.
size_t ForEachCheckedRow(const std::vector<CheckedPath>& rows, BatchHost& host,
                         const std::string& prefix,
                         const std::function<bool(const std::string&)>& action) {
  host.ShowProgress();
  const std::string total = "/" + std::to_string(rows.size());
  size_t done = 0;
  // A file named again has had its backup handled by its first naming.
  FileOnce once(SameFileRule::kContents);
  for (size_t r = 0; r < rows.size(); ++r) {
    if (host.CheckCancelled()) break;
    if (!rows[r].checked || !once.First(rows[r].path)) continue;
    std::string message = prefix;
    message += std::to_string(r + 1);
    message += total;
    host.SetMessage(message);
    host.SelectFileRow(r);
    if (action(rows[r].path)) ++done;
  }
  if (!once.Folded().empty()) host.Notice("", Message(MessageId::kNamesSkipped, {once.FoldedNames()}));
  host.HideProgress();
  return done;
}

// True when the backup name is free or holds a plain file; a backup is
// never read or written through a link, which anyone who can write to the
// folder may have planted there.
bool BackupNameUsable(const std::string& backup, Message* error) {
  struct stat st;
  if (lstat(backup.c_str(), &st) != 0) return true;
  if (S_ISREG(st.st_mode)) return true;
  *error = Message(S_ISLNK(st.st_mode) ? MessageId::kBackupIsLink : MessageId::kBackupNotPlain,
                   {backup});
  return false;
}

}  // namespace

std::string BackupPath(const std::string& path) { return path + ".bak"; }

bool MakeBackup(const std::string& path, Message* error, FileRewriter& rewriter) {
  std::string content;
  if (!ReadWholeFile(path, &content, error)) return false;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  const std::string backup = BackupPath(path);
  if (!BackupNameUsable(backup, error)) return false;
  // The backup carries the file's own mode from the moment it appears, not
  // that of an older backup it replaces.
  // A backup is no change of the user's files: an undo journal passes it by.
  return RewriteFile(rewriter.Plain(), backup, content, error,
                     static_cast<int>(st.st_mode & 07777));
}

size_t RestoreBackups(const std::vector<CheckedPath>& rows, BatchHost& host,
                      const LanguageCatalog& texts, FileRewriter& rewriter) {
  const std::string caption = texts.Text(key::kRestoringBackup);
  return ForEachCheckedRow(rows, host, caption, [&](const std::string& path) {
    const std::string backup = BackupPath(path);
    // No backup at all is the ordinary case of a file never backed up.
    struct stat st;
    if (lstat(backup.c_str(), &st) != 0 && errno == ENOENT) return false;
    std::string content;
    Message error;
    if (!BackupNameUsable(backup, &error) || !ReadWholeFile(backup, &content, &error)) {
      host.Warn(path, error);
      return false;
    }
    if (!RewriteFile(rewriter, path, content, &error)) {
      // The file is as it was, and its backup must stay for another try.
      host.Warn(path, error);
      return false;
    }
    if (!rewriter.Remove(backup, &error)) {
      host.Warn(path, Message(MessageId::kRestoredBut).Because(error));
    }
    return true;
  });
}

size_t ClearBackups(const std::vector<CheckedPath>& rows, BatchHost& host,
                    const LanguageCatalog& texts, FileRewriter& rewriter) {
  const std::string caption = texts.Text(key::kDeletingBackup);
  return ForEachCheckedRow(rows, host, caption, [&](const std::string& path) {
    const std::string backup = BackupPath(path);
    struct stat st;
    if (lstat(backup.c_str(), &st) != 0 && errno == ENOENT) return false;
    Message error;
    if (rewriter.Remove(backup, &error)) return true;
    host.Warn(path, error);
    return false;
  });
}

void BackUpBeforeChange(const std::string& path, BatchHost& host, FileRewriter& rewriter) {
  Message error;
  if (!MakeBackup(path, &error, rewriter)) {
    host.Warn(path, Message(MessageId::kNoBackupMade).Because(error));
  }
}

}  // namespace strbatch

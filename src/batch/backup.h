// Backup copies beside users' files: a file's backup is its path followed by
// ".bak". Every copy is written all-or-nothing, so a failed backup never
// replaces an older one and a failed restore never touches the file; a backup
// is deleted by a restore only after the file was replaced by it completely.
#ifndef STRBATCH_BATCH_BACKUP_H_
#define STRBATCH_BATCH_BACKUP_H_

#include <cstddef>
#include <string>
#include <vector>

#include "config/language.h"
#include "base/safe_file.h"
#include "base/batch_host.h"
#include "lists/file_list.h"

namespace strbatch {

// path + ".bak"
std::string BackupPath(const std::string& path);

// Copies the file's bytes and permission bits to its backup, replacing an
// older backup. False, with a reason, when the copy could not be made; the
// batch driver goes on without it. A backup name that is taken by anything
// but a plain file (a symbolic link someone planted in a shared folder, a
// folder, a FIFO) is never written through.
bool MakeBackup(const std::string& path, Message* error, FileRewriter& rewriter);

// The backup before a command changes a file: a copy that cannot be made
// is warned (the command goes on).
void BackUpBeforeChange(const std::string& path, BatchHost& host, FileRewriter& rewriter);

// Puts back the backup of every checked row and deletes it once the file holds
// its bytes. Rows without a backup are passed over silently; other failures,
// and a backup name taken by anything but a plain file, are reported through
// host.Warn. The user may cancel before any row. Gives the number of files
// restored.
// texts gives the progress lines.
size_t RestoreBackups(const std::vector<CheckedPath>& rows, BatchHost& host,
                      const LanguageCatalog& texts, FileRewriter& rewriter);

// Deletes the backup of every checked row. Gives the number deleted.
// Restore and clear delete backups through rewriter (a journal keeps them).
size_t ClearBackups(const std::vector<CheckedPath>& rows, BatchHost& host,
                    const LanguageCatalog& texts, FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_BACKUP_H_

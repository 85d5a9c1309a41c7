#include "journal/undo_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "base/paths.h"

namespace strbatch {
namespace {

constexpr const char* kLogName = "log";
constexpr const char* kIndexName = "index";
constexpr const char* kMarkName = "mark";
constexpr const char* kMagic = "strbatch-journal";
constexpr const char* kIndexMagic = "strbatch-journal-index";
// 1: records without checksums, entries without link and target.
constexpr int kFormat = 2;
constexpr size_t kSealLength = 16;
// One of zstd's fast levels: the copy is on the path of every rewrite, and
// the level's lesser ratio costs less than the time of a higher one.
constexpr int kCompressionLevel = -2;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Fields are separated by tabs and records end with a line end; a path may
// hold either, so both (and the escape itself) are escaped.
std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return out;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    size_t tab = line.find('\t', at);
    fields.push_back(Unescape(line.substr(at, tab - at)));
    if (tab == std::string::npos) return fields;
    at = tab + 1;
  }
}


// A record of the second format ends in a field holding the start of the
// SHA-256 of what precedes it, so that a damaged record is told from one the
// run wrote.
std::string Seal(const std::string& record) {
  return record + "\t" + Sha256Hex(record).substr(0, kSealLength) + "\n";
}

// The record without its seal; false when the seal does not match.
bool Unseal(const std::string& line, std::string* record) {
  const size_t tab = line.rfind('\t');
  if (tab == std::string::npos || line.size() - tab - 1 != kSealLength) return false;
  *record = line.substr(0, tab);
  return Sha256Hex(*record).compare(0, kSealLength, line, tab + 1, kSealLength) == 0;
}

// Writes a small file of the journal whole or not at all.
bool WriteSmallFile(const std::string& path, const std::string& text) {
  const std::string temp = path + ".new";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, text.data(), text.size());
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

const char* KindName(JournalEntry::Kind kind) {
  switch (kind) {
    case JournalEntry::Kind::kWrite: return "write";
    case JournalEntry::Kind::kMove: return "move";
    case JournalEntry::Kind::kRemove: return "remove";
  }
  return "write";
}

const char* StoreName(JournalEntry::Store store) {
  switch (store) {
    case JournalEntry::Store::kNone: return "none";
    case JournalEntry::Store::kLink: return "link";
    case JournalEntry::Store::kCompressed: return "zstd";
  }
  return "none";
}

std::string StoreFile(const std::string& folder, size_t number, JournalEntry::Store store) {
  return folder + "/" + std::to_string(number) +
         (store == JournalEntry::Store::kLink ? ".old" : ".zst");
}

// "-" stands for a value not known.
std::string StateFields(const JournalEntry& entry) {
  if (!entry.newKnown) return "-\t-\t-";
  return std::to_string(entry.newState.size) + "\t" +
         (entry.mtimeKnown ? std::to_string(entry.newState.mtimeNs) : "-") + "\t" +
         entry.newState.sha256;
}

void ParseState(const std::string& size, const std::string& mtime, const std::string& sha,
                JournalEntry* entry) {
  entry->newKnown = size != "-" && sha != "-";
  entry->mtimeKnown = entry->newKnown && mtime != "-";
  if (!entry->newKnown) return;
  entry->newState.size = std::strtoull(size.c_str(), nullptr, 10);
  entry->newState.mtimeNs = entry->mtimeKnown ? std::strtoll(mtime.c_str(), nullptr, 10) : 0;
  entry->newState.sha256 = sha;
}

// context: kept from file to file, as making one costs more than
// compressing a small file.
bool WriteCompressed(ZSTD_CCtx* context, const std::string& file, std::string_view bytes,
                     Message* error) {
  std::string packed(ZSTD_compressBound(bytes.size()), '\0');
  size_t size = ZSTD_compressCCtx(context, packed.data(), packed.size(), bytes.data(),
                                  bytes.size(), kCompressionLevel);
  if (ZSTD_isError(size)) {
    *error = Message(MessageId::kCannotCompress, {file})
                 .Because(LibraryText(ZSTD_getErrorName(size)));
    return false;
  }
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool ok = fd >= 0 && WriteAll(fd, packed.data(), size);
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    *error = OsFailure(MessageId::kCannotWrite, {file});
    unlink(file.c_str());
  }
  return ok;
}

// Undo may run from another folder: the journal names files absolutely.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) return path;
  std::string full = std::string(cwd) + "/" + path;
  free(cwd);
  return full;
}

bool ProcessAlive(long pid) {
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::string InFolder(const std::string& folder, const std::string& name) {
  std::string path = folder;
  path += '/';
  path += name;
  return path;
}

void RemoveFolder(const std::string& folder) {
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") unlink(InFolder(folder, name).c_str());
    }
    closedir(dir);
  }
  rmdir(folder.c_str());
}

// The entry a record names. Entries are numbered from 1 in the order they
// are written, so the number is its place unless the log is damaged.
JournalEntry* Numbered(JournalRun* run, const std::string& field) {
  const size_t number = std::strtoull(field.c_str(), nullptr, 10);
  std::vector<JournalEntry>& entries = run->entries;
  if (number >= 1 && number <= entries.size() && entries[number - 1].number == number) {
    return &entries[number - 1];
  }
  for (JournalEntry& entry : entries) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

}  // namespace

size_t JournalRun::DoneCount() const {
  return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const JournalEntry& e) {
    return e.done && !e.cancelled;
  }));
}

UndoLimits UndoLimitsFrom(const UndoSettings& settings) {
  return {settings.enabled, static_cast<size_t>(settings.runs),
          static_cast<uint64_t>(settings.megabytes) << 20};
}

bool TakeIdentity(const std::string& path, FileFingerprint* print, Message* error) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  print->size = static_cast<uint64_t>(st.st_size);
  print->mtimeNs = MtimeNs(st);
  print->sha256 = "inode:" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  return true;
}

bool DefaultJournalRoot(std::string* root, Message* error) {
  std::string dir;
  if (!PrivateTempDir(&dir, error)) return false;
  *root = dir + "/journal";
  if (mkdir(root->c_str(), 0700) != 0 && errno != EEXIST) {
    *error = OsFailure(MessageId::kCannotCreate, {*root});
    return false;
  }
  return true;
}

namespace {

JournalEntry::Kind KindNamed(const std::string& name) {
  return name == "move"     ? JournalEntry::Kind::kMove
         : name == "remove" ? JournalEntry::Kind::kRemove
                            : JournalEntry::Kind::kWrite;
}

// A pending record: "P", number, kind, path, new path, store, mode, the
// three fields of the new state and, in the second format, link and target.
bool ParsePending(const std::vector<std::string>& f, int version, JournalEntry* entry) {
  if (f.size() != (version == 1 ? 10u : 12u)) return false;
  entry->number = std::strtoull(f[1].c_str(), nullptr, 10);
  entry->kind = KindNamed(f[2]);
  entry->path = f[3];
  entry->newPath = f[4];
  entry->store = f[5] == "link"   ? JournalEntry::Store::kLink
                 : f[5] == "zstd" ? JournalEntry::Store::kCompressed
                                  : JournalEntry::Store::kNone;
  entry->oldMode = f[6] == "-" ? -1 : static_cast<int>(std::strtol(f[6].c_str(), nullptr, 8));
  ParseState(f[7], f[8], f[9], entry);
  entry->target = entry->newPath;
  if (version == 1) return true;
  entry->linkKnown = true;
  entry->wasLink = f[10] == "1";
  entry->target = f[11];
  return true;
}

// Applies one record after the header to run. A record of the second
// format that does not verify marks the entry it names (as far as it can be
// read) damaged, so that undo refuses it rather than trust it.
void ReadRecord(const std::string& line, JournalRun* run) {
  std::string record = line;
  const bool sound = run->version == 1 || Unseal(line, &record);
  std::vector<std::string> f = SplitFields(record);
  if (!sound) {
    if (f[0] == "P") {
      JournalEntry entry;
      entry.number = f.size() > 1 ? std::strtoull(f[1].c_str(), nullptr, 10) : 0;
      entry.path = entry.newPath = f.size() > 3 ? f[3] : "entry " + std::to_string(entry.number);
      entry.damaged = true;
      run->entries.push_back(std::move(entry));
    } else if ((f[0] == "D" || f[0] == "C") && f.size() > 1) {
      if (JournalEntry* entry = Numbered(run, f[1])) entry->damaged = true;
    }
    return;
  }
  if (f[0] == "P") {
    JournalEntry entry;
    if (!ParsePending(f, run->version, &entry)) {
      entry.damaged = true;
      entry.path = entry.newPath = f.size() > 3 ? f[3] : "an entry";
    }
    run->entries.push_back(std::move(entry));
    // A run goes on after a partial end when it is resumed.
    run->finished = run->partial = false;
  } else if (f[0] == "D" && f.size() == 5) {
    if (JournalEntry* entry = Numbered(run, f[1])) {
      entry->done = true;
      ParseState(f[2], f[3], f[4], entry);
    }
  } else if (f[0] == "C" && f.size() == 2) {
    if (JournalEntry* entry = Numbered(run, f[1])) entry->cancelled = true;
  } else if (f[0] == "E" || f[0] == "S") {
    run->finished = true;
    run->partial = f[0] == "S";
  } else if (f[0] == "O" && f.size() == 2) {
    run->pid = std::strtol(f[1].c_str(), nullptr, 10);
    run->finished = run->partial = false;
  } else if (f[0] == "T" && f.size() == 2) {
    run->undoOf = f[1];
  } else if (f[0] == "R" && f.size() == 2) {
    run->refusedOf.push_back(std::strtoull(f[1].c_str(), nullptr, 10));
  } else if (f[0] == "U" && f.size() == 2) {
    run->undoneBy = f[1];
  }
}

uint64_t FolderBytes(const std::string& folder) {
  uint64_t bytes = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      struct stat st;
      std::string name = entry->d_name;
      if (name != "." && name != ".." && lstat(InFolder(folder, name).c_str(), &st) == 0) {
        bytes += static_cast<uint64_t>(st.st_size);
      }
    }
    closedir(dir);
  }
  return bytes;
}

// The index a run writes when it ends: what a listing shows of it.
std::string IndexText(const JournalRun& run) {
  return Seal(std::string(kIndexMagic) + "\t" + std::to_string(kFormat) + "\t" +
              std::to_string(run.startNs) + "\t" + std::to_string(run.pid) + "\t" +
              Escape(run.command) + "\t" + (run.partial ? "S" : "E") + "\t" +
              std::to_string(run.files) + "\t" + std::to_string(run.bytes) + "\t" +
              Escape(run.undoOf));
}

bool ReadIndex(const std::string& folder, JournalRun* run) {
  std::string text, record;
  Message error;
  if (!ReadWholeFile(InFolder(folder, kIndexName), &text, &error) || text.empty() ||
      text.back() != '\n' || !Unseal(text.substr(0, text.size() - 1), &record)) {
    return false;
  }
  std::vector<std::string> f = SplitFields(record);
  if (f.size() != 9 || f[0] != kIndexMagic) return false;
  run->version = static_cast<int>(std::strtol(f[1].c_str(), nullptr, 10));
  run->startNs = std::strtoll(f[2].c_str(), nullptr, 10);
  run->pid = std::strtol(f[3].c_str(), nullptr, 10);
  run->command = f[4];
  run->finished = true;
  run->partial = f[5] == "S";
  run->files = std::strtoull(f[6].c_str(), nullptr, 10);
  run->bytes = std::strtoull(f[7].c_str(), nullptr, 10);
  run->undoOf = f[8];
  return true;
}

// The note of the run that took this one back, where there is one.
void ReadMark(const std::string& folder, JournalRun* run) {
  std::string text, record;
  Message error;
  if (!ReadWholeFile(InFolder(folder, kMarkName), &text, &error) || text.empty() ||
      text.back() != '\n' || !Unseal(text.substr(0, text.size() - 1), &record)) {
    return;
  }
  std::vector<std::string> f = SplitFields(record);
  if (f.size() != 2 || (f[0] != "undone" && f[0] != "partly")) return;
  run->undoneBy = f[1];
  run->partlyUndone = f[0] == "partly";
}

}  // namespace

bool ReadJournal(const std::string& folder, JournalRun* run, Message* error) {
  std::string text;
  if (!ReadWholeFile(folder + "/" + kLogName, &text, error)) return false;
  *run = JournalRun();
  run->folder = folder;
  run->id = folder.substr(folder.rfind('/') + 1);
  size_t at = 0;
  bool headed = false;
  // A record is complete only with its line end; a kill may cut the last.
  for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = text.substr(at, end - at);
    if (headed) {
      ReadRecord(line, run);
      continue;
    }
    std::vector<std::string> f = SplitFields(line);
    if (f.size() < 5 || f[0] != kMagic) break;
    run->version = static_cast<int>(std::strtol(f[1].c_str(), nullptr, 10));
    std::string record;
    if (run->version == kFormat && (f.size() != 6 || !Unseal(line, &record))) break;
    if (run->version != 1 && run->version != kFormat) break;
    run->startNs = std::strtoll(f[2].c_str(), nullptr, 10);
    run->pid = std::strtol(f[3].c_str(), nullptr, 10);
    run->command = f[4];
    headed = true;
  }
  if (!headed) {
    *error = Message(MessageId::kNoJournalIn, {folder});
    return false;
  }
  run->files = run->DoneCount();
  run->bytes = FolderBytes(folder);
  ReadMark(folder, run);
  return true;
}

std::vector<JournalRun> ListJournals(const std::string& root) {
  std::vector<JournalRun> runs;
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return runs;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    JournalRun run;
    const std::string folder = InFolder(root, name);
    Message error;
    if (ReadIndex(folder, &run)) {
      // Only a run that was killed, or is still being written, lacks one.
      run.folder = folder;
      run.id = name;
      ReadMark(folder, &run);
    } else if (ReadJournal(folder, &run, &error)) {
      run.entries.clear();
      run.entries.shrink_to_fit();
    } else {
      continue;
    }
    runs.push_back(std::move(run));
  }
  closedir(dir);
  std::sort(runs.begin(), runs.end(), [](const JournalRun& a, const JournalRun& b) {
    return a.startNs != b.startNs ? a.startNs < b.startNs : a.id < b.id;
  });
  return runs;
}

bool StillRunning(const JournalRun& run) { return !run.finished && ProcessAlive(run.pid); }

bool LoadOldBytes(const JournalRun& run, const JournalEntry& entry, std::string* bytes,
                  Message* error) {
  const std::string file = StoreFile(run.folder, entry.number, entry.store);
  switch (entry.store) {
    case JournalEntry::Store::kNone: bytes->clear(); return true;
    case JournalEntry::Store::kLink: return ReadWholeFile(file, bytes, error);
    case JournalEntry::Store::kCompressed: break;
  }
  std::string packed;
  if (!ReadWholeFile(file, &packed, error)) return false;
  unsigned long long size = ZSTD_getFrameContentSize(packed.data(), packed.size());
  if (size == ZSTD_CONTENTSIZE_ERROR || size == ZSTD_CONTENTSIZE_UNKNOWN) {
    *error = Message(MessageId::kFileDamaged, {file});
    return false;
  }
  bytes->resize(size);
  size_t got = ZSTD_decompress(bytes->data(), bytes->size(), packed.data(), packed.size());
  if (ZSTD_isError(got) || got != size) {
    *error = Message(MessageId::kFileDamaged, {file});
    return false;
  }
  return true;
}

void MarkUndone(const JournalRun& run, const std::string& by, bool partly) {
  const std::string path = InFolder(run.folder, kMarkName);
  // Only the listing and undo's choice of run read the note; a lost one
  // leaves the run as if not taken back, and its files judged by their state.
  if (by.empty()) {
    unlink(path.c_str());
    return;
  }
  (void)WriteSmallFile(path, Seal(std::string(partly ? "partly" : "undone") + "\t" + Escape(by)));
}

// The open run: its folder and the log it appends records to.
class UndoJournal::Run {
 public:
  Run(JournalRun info, int log, bool linking)
      : info_(std::move(info)), log_(log), linking_(linking), compressor_(ZSTD_createCCtx()) {
    // A resumed run goes on numbering after its last entry.
    resumed_ = !info_.entries.empty();
    for (const JournalEntry& entry : info_.entries) {
      next_ = std::max(next_, entry.number + 1);
      if (!entry.cancelled && !entry.damaged) live_++;
      if (entry.done && !entry.cancelled) done_++;
    }
    info_.entries.clear();
  }
  ~Run() {
    if (log_ >= 0) close(log_);
    ZSTD_freeCCtx(compressor_);
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  const std::string& Folder() const { return info_.folder; }
  // True while every entry written was cancelled: the run changed nothing.
  bool Empty() const { return live_ == 0; }

  // One record, in one write, so that a kill leaves it whole or cut at its
  // end (where the reader drops it).
  bool Append(const std::string& record, Message* error) {
    if (WriteAll(log_, record.data(), record.size())) return true;
    *error = OsFailure(MessageId::kCannotWriteJournal, {info_.folder});
    return false;
  }
  // A record that costs nothing when lost.
  void Note(const std::string& record) {
    Message error;
    (void)Append(Seal(record), &error);
  }

  // Keeps the old bytes of entry and writes its pending record. A link is
  // made only to the inode a rename is about to take the name from (so that
  // nothing else can change it afterwards); a file with other links or one
  // written in place is copied.
  bool Pending(JournalEntry* entry, const std::string& source, bool linkable, Message* error) {
    entry->number = next_++;
    if (resumed_) {
      // Old bytes a killed run kept for an entry it never recorded.
      unlink(StoreFile(info_.folder, entry->number, JournalEntry::Store::kLink).c_str());
      unlink(StoreFile(info_.folder, entry->number, JournalEntry::Store::kCompressed).c_str());
    }
    if (entry->store != JournalEntry::Store::kNone) {
      entry->store = JournalEntry::Store::kCompressed;
      const std::string linkName =
          StoreFile(info_.folder, entry->number, JournalEntry::Store::kLink);
      if (linkable && linking_ && link(source.c_str(), linkName.c_str()) == 0) {
        entry->store = JournalEntry::Store::kLink;
      } else {
        std::string& bytes = bytes_;
        if (!ReadWholeFile(source, &bytes, error) ||
            !WriteCompressed(compressor_, StoreFile(info_.folder, entry->number, entry->store),
                             bytes, error)) {
          *error = Message(MessageId::kCannotKeepOldBytes).Because(*error);
          return false;
        }
      }
    }
    const std::string mode = entry->oldMode < 0 ? "-" : [&] {
      char octal[16];
      std::snprintf(octal, sizeof octal, "%o", static_cast<unsigned>(entry->oldMode));
      return std::string(octal);
    }();
    const std::string record =
        Seal("P\t" + std::to_string(entry->number) + "\t" + KindName(entry->kind) + "\t" +
             Escape(entry->path) + "\t" + Escape(entry->newPath) + "\t" +
             StoreName(entry->store) + "\t" + mode + "\t" + StateFields(*entry) + "\t" +
             (entry->wasLink ? "1" : "0") + "\t" + Escape(entry->target));
    if (Append(record, error)) {
      live_++;
      return true;
    }
    unlink(StoreFile(info_.folder, entry->number, entry->store).c_str());
    return false;
  }

  // Marks an entry done, with the state its file was left in. A lost done
  // record costs nothing: undo then checks the file's state.
  void Done(const JournalEntry& entry) {
    Note("D\t" + std::to_string(entry.number) + "\t" + StateFields(entry));
    done_++;
  }

  // Retracts a pending entry whose change failed and left the file as it
  // was. Should the record be lost, undo finds the file in its old state.
  void Cancel(const JournalEntry& entry) {
    Message error;
    if (!Append(Seal("C\t" + std::to_string(entry.number)), &error)) return;
    if (entry.store != JournalEntry::Store::kNone) {
      unlink(StoreFile(info_.folder, entry.number, entry.store).c_str());
    }
    live_--;
  }

  void SetUndoOf(const std::string& id) {
    info_.undoOf = id;
    Note("T\t" + Escape(id));
  }

  // Ends the log and writes the index a listing reads instead of it.
  void Close(bool complete) {
    info_.partial = !complete;
    Note(std::string(complete ? "E" : "S") + "\t" + std::to_string(NowNs()));
    close(log_);
    log_ = -1;
    info_.files = done_;
    info_.bytes = FolderBytes(info_.folder);
    (void)WriteSmallFile(InFolder(info_.folder, kIndexName), IndexText(info_));
  }

 private:
  JournalRun info_;  // the run's header and, resumed, its entries so far
  int log_;
  bool linking_;
  ZSTD_CCtx* compressor_;
  std::string bytes_;  // the old bytes being copied, kept for their capacity
  size_t next_ = 1;
  size_t live_ = 0;  // entries written and not cancelled
  size_t done_ = 0;
  bool resumed_ = false;
};

namespace {

// A rewrite through the journal: hashes the new bytes on their way, and
// records the entry when the inner session is about to replace the file.
class JournalSession : public RewriteSession, public ReplaceWatcher {
 public:
  JournalSession(UndoJournal::Run& run, std::string path, std::unique_ptr<RewriteSession> inner)
      : run_(run), path_(std::move(path)), inner_(std::move(inner)) {
    watched_ = inner_->Watch(this);
  }

  bool Write(const char* data, size_t size) override {
    if (!inner_->Write(data, size)) return false;
    hash_.Add(std::string_view(data, size));
    size_ += size;
    return true;
  }

  void SetMode(unsigned mode) override { inner_->SetMode(mode); }

  bool Commit(Message* error) override {
    entry_.newState.size = size_;
    entry_.newState.sha256 = hash_.Finish();
    hashed_ = true;
    if (!watched_) {
      // A session that cannot tell when it replaces the file: its old
      // bytes are copied before it may.
      struct stat st;
      ReplaceStep step;
      step.target = path_;
      step.existed = stat(path_.c_str(), &st) == 0;
      step.mode = step.existed ? st.st_mode & 07777 : 0;
      step.inPlace = true;
      if (!BeforeReplace(step, error)) return false;
    }
    if (!inner_->Commit(error)) {
      if (pending_) run_.Cancel(entry_);
      return false;
    }
    struct stat st;
    if (stat(path_.c_str(), &st) == 0) {
      entry_.newState.mtimeNs = MtimeNs(st);
      entry_.mtimeKnown = true;
    }
    entry_.newKnown = true;
    run_.Done(entry_);
    return true;
  }

  bool BeforeReplace(const ReplaceStep& step, Message* error) override {
    entry_.kind = JournalEntry::Kind::kWrite;
    entry_.path = entry_.newPath = path_;
    entry_.store = step.existed ? JournalEntry::Store::kLink : JournalEntry::Store::kNone;
    entry_.oldMode = step.existed ? static_cast<int>(step.mode) : -1;
    // A rewrite in place is told before its bytes are known.
    entry_.newKnown = hashed_;
    entry_.mtimeKnown = hashed_ && !step.inPlace;
    entry_.newState.mtimeNs = step.newMtimeNs;
    // A link is rewritten at its target: undo must find both as they were.
    struct stat st;
    entry_.wasLink = lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    entry_.target = Absolute(step.target);
    pending_ = run_.Pending(&entry_, step.target, !step.inPlace && step.links == 1, error);
    return pending_;
  }

 private:
  UndoJournal::Run& run_;
  std::string path_;
  std::unique_ptr<RewriteSession> inner_;
  bool watched_ = false;
  bool hashed_ = false;
  bool pending_ = false;  // the entry is in the log
  Sha256Stream hash_;
  uint64_t size_ = 0;
  JournalEntry entry_;
};

}  // namespace

UndoJournal::UndoJournal(std::string root, FileRewriter& inner)
    : root_(std::move(root)), inner_(inner) {}

UndoJournal::~UndoJournal() { FinishRun(); }

bool UndoJournal::StartRun(const std::string& command, Message* error) {
  FinishRun();
  if (root_.empty()) {
    *error = Message(MessageId::kNoPrivateFolder);
    return false;
  }
  if (mkdir(root_.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = OsFailure(MessageId::kCannotCreate, {root_});
    return false;
  }
  // Named by the time, so that a listing of the folder reads in order.
  JournalRun info;
  info.startNs = NowNs();
  info.pid = getpid();
  info.command = command;
  const time_t seconds = static_cast<time_t>(info.startNs / 1000000000);
  struct tm local;
  localtime_r(&seconds, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S-", &local);
  std::string folder = root_ + "/" + stamp + "XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    *error = OsFailure(MessageId::kCannotCreateJournal, {root_});
    return false;
  }
  info.folder = folder;
  const std::string logPath = folder + "/" + kLogName;
  int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
  if (log < 0) {
    *error = OsFailure(MessageId::kCannotCreate, {logPath});
    rmdir(folder.c_str());
    return false;
  }
  const std::string header = Seal(std::string(kMagic) + "\t" + std::to_string(kFormat) + "\t" +
                                  std::to_string(info.startNs) + "\t" +
                                  std::to_string(info.pid) + "\t" + Escape(command));
  auto run = std::make_unique<Run>(std::move(info), log, linking_);
  if (!run->Append(header, error)) {
    run.reset();
    RemoveFolder(folder);
    return false;
  }
  run_ = std::move(run);
  lastId_ = folder.substr(folder.rfind('/') + 1);
  return true;
}

bool UndoJournal::ResumeRun(const JournalRun& run, Message* error) {
  FinishRun();
  if (run.version != kFormat) {
    *error = Message(MessageId::kJournalOlderFormat, {run.id});
    return false;
  }
  const std::string logPath = run.folder + "/" + kLogName;
  // A kill may have cut the last record; what follows must start a line.
  std::string text;
  if (!ReadWholeFile(logPath, &text, error)) return false;
  int log = open(logPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (log < 0 || ftruncate(log, static_cast<off_t>(text.rfind('\n') + 1)) != 0) {
    *error = OsFailure(MessageId::kCannotOpen, {logPath});
    if (log >= 0) close(log);
    return false;
  }
  // Open again, the run has no index until it ends anew.
  unlink(InFolder(run.folder, kIndexName).c_str());
  run_ = std::make_unique<Run>(run, log, linking_);
  run_->Note("O\t" + std::to_string(getpid()));
  lastId_ = run.id;
  return true;
}

bool UndoJournal::FinishRun(bool complete) {
  if (!run_) return false;
  // A run that changed nothing (no entry, or every one cancelled) leaves no
  // journal, so that undo takes back the last run that did and failed runs
  // push no real one out of those kept. Decided here, by the run itself:
  // from outside, a pending entry may be a change that happened.
  if (run_->Empty()) {
    const std::string folder = run_->Folder();
    run_.reset();
    RemoveFolder(folder);
    return false;
  }
  run_->Close(complete);
  run_.reset();
  Prune(lastId_);
  return true;
}

void UndoJournal::NoteUndoOf(const std::string& id) {
  if (run_) run_->SetUndoOf(id);
}

void UndoJournal::NoteRefused(size_t number) {
  if (run_) run_->Note("R\t" + std::to_string(number));
}

void UndoJournal::Prune(const std::string& keep) {
  std::vector<JournalRun> runs = ListJournals(root_);
  size_t count = runs.size();
  uint64_t total = 0;
  for (const JournalRun& run : runs) total += run.bytes;
  for (const JournalRun& run : runs) {
    if (count <= limits.keepRuns && total <= limits.keepBytes) break;
    if (run.id == keep || StillRunning(run)) continue;
    RemoveFolder(run.folder);
    count--;
    total -= run.bytes;
  }
}

std::unique_ptr<RewriteSession> UndoJournal::Begin(const std::string& path, Message* error) {
  std::unique_ptr<RewriteSession> inner = inner_.Begin(path, error);
  if (!inner || !run_) return inner;
  return std::make_unique<JournalSession>(*run_, Absolute(path), std::move(inner));
}

bool UndoJournal::Move(const std::string& from, const std::string& to, Message* error) {
  if (!run_) return inner_.Move(from, to, error);
  JournalEntry entry;
  entry.kind = JournalEntry::Kind::kMove;
  entry.path = Absolute(from);
  entry.newPath = Absolute(to);
  Message why;
  if (!TakeIdentity(from, &entry.newState, &why)) {
    *error = Message(MessageId::kCannotExamineForUndo, {from}).WithOsError(why.osError);
    return false;
  }
  entry.newKnown = entry.mtimeKnown = true;
  struct stat st;
  entry.wasLink = lstat(from.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  entry.target = entry.path;
  if (!run_->Pending(&entry, from, false, error)) return false;
  if (!inner_.Move(from, to, error)) {
    run_->Cancel(entry);
    return false;
  }
  run_->Done(entry);
  return true;
}

bool UndoJournal::Remove(const std::string& path, Message* error) {
  if (!run_) return inner_.Remove(path, error);
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) {
    *error = OsFailure(MessageId::kCannotExamine, {path});
    return false;
  }
  JournalEntry entry;
  entry.kind = JournalEntry::Kind::kRemove;
  entry.path = Absolute(path);
  entry.store = JournalEntry::Store::kLink;
  entry.oldMode = static_cast<int>(st.st_mode & 07777);
  entry.wasLink = S_ISLNK(st.st_mode);
  entry.target = entry.path;
  if (!run_->Pending(&entry, path, S_ISREG(st.st_mode) && st.st_nlink == 1, error)) return false;
  if (!inner_.Remove(path, error)) {
    run_->Cancel(entry);
    return false;
  }
  run_->Done(entry);
  return true;
}

uint64_t SizeOfFiles(const std::vector<std::string>& paths) {
  uint64_t total = 0;
  for (const std::string& path : paths) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  }
  return total;
}

bool ConfirmChanges(const UndoJournal* journal, uint64_t oldBytes, QuestionSink& host) {
  if (journal == nullptr || !journal->limits.enabled) {
    return host.Ask(Question::kChangeFilesWithoutUndo);
  }
  return !journal->Fits(oldBytes) || host.Ask(Question::kChangeFiles);
}

bool StartUndoableRun(UndoJournal& journal, const std::string& command, uint64_t oldBytes,
                      BatchHost& host) {
  if (!journal.limits.enabled) return true;
  if (!journal.Fits(oldBytes)) {
    host.Notice("", Message(MessageId::kOverUndoLimit,
                            {std::to_string(oldBytes >> 20),
                             std::to_string(journal.limits.keepBytes >> 20)}));
    return host.Ask(Question::kGoOnWithoutUndoOverLimit);
  }
  Message error;
  if (journal.StartRun(command, &error)) return true;
  host.Notice("", Message(MessageId::kRunNotRecorded).Because(error));
  return host.Ask(Question::kGoOnWithoutJournal);
}

JournalledRun::~JournalledRun() {
  if (open_ && journal_->Recording()) {
    journal_->FinishRun(complete_ && std::uncaught_exceptions() == exceptions_);
  }
}

bool JournalledRun::Open(const std::string& command, uint64_t oldBytes, BatchHost& host) {
  if (journal_ == nullptr) return true;
  if (!StartUndoableRun(*journal_, command, oldBytes, host)) return false;
  open_ = journal_->Recording();
  return true;
}

}  // namespace strbatch

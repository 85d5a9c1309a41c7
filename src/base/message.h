// What the core tells a user, as typed values rather than text: a message
// names one sentence of the language files and carries its arguments, the
// errno behind it and the message it follows from. A front end turns it
// into text in the user's language (config/message_text.h); the core holds
// no sentence a user reads. Questions are typed the same way.
#ifndef STRBATCH_BASE_MESSAGE_H_
#define STRBATCH_BASE_MESSAGE_H_

#include <cerrno>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace strbatch {

// One sentence each; %1..%9 are its arguments, in this order.
enum class MessageId {
  kNone,  // no message: renders empty
  // A text a library or the office suite gave us, shown as it is (%1). The
  // only way free text reaches a user.
  kLibraryText,

  // Files.
  kCannotOpen,           // %1 path
  kCannotRead,           // %1 path
  kCannotWrite,          // %1 path
  kCannotExamine,        // %1 path
  kCannotDelete,         // %1 path
  kCannotResolve,        // %1 path
  kCannotClose,          // %1 path
  kCannotReplace,        // %1 path
  kCannotSetMode,        // %1 path
  kCannotKeepLock,       // %1 path
  kCannotCreateTempBeside,  // %1 path
  kCannotKeepCopy,       // %1 path
  kCannotKeepCopyIn,     // %1 path, %2 folder
  kCannotMove,           // %1 from, %2 to
  kIsDirectory,          // %1 path
  kNotRegularFile,       // %1 path
  kTooLargeForMemory,    // %1 path
  kChangedWhileOpened,   // %1 path
  kCannotCutToLength,    // %1 path
  kOriginalKeptIn,       // %1 copy path: a failed in-place rewrite not put back
  kNoPrivateFolder,      // the private temporary folder cannot be made
  kCannotWriteStandardOutput,
  kNotValidUtf16,        // the file is left as it is
  kTextNotWritableAs,    // %1 encoding; the file is left as it was
  kCannotCreate,         // %1 path
  kNotAFolder,           // %1 path
  kNoHomeFolder,         // no home folder for the private temporary folder
  kPrivateFolderIsLink,  // %1 path
  kOwnedByAnotherUser,   // %1 path
  kCannotMakePrivate,    // %1 path
  kTooLargeForSettings,  // %1 path
  kCannotStoreKey,       // %1 key, %2 path
  kNoSettingsPlace,      // no path for the settings file

  // Definition files.
  kDefinitionFileWhole,  // %1 path; the cause says why it is refused
  kDefinitionFileLine,   // %1 path, %2 line; the cause says why it is refused
  kFileEmpty,
  kNoXmlDeclaration,
  kEndsInDeclaration,
  kEndsInCdata,
  kEndsInTag,
  kEndsInNamedTag,       // %1 tag
  kNoElement,
  kRootNotReplace,       // %1 the root's tag
  kEndsBeforeClosed,     // %1 tag
  kNotMovedAside,        // the cause says why
  kEveryNameTaken,

  // Backups.
  kNoBackupMade,         // the cause says why
  kBackupIsLink,         // %1 backup path
  kBackupNotPlain,       // %1 backup path
  kRestoredBut,          // the cause: why the backup stays

  // The batch.
  kFindReportNoPlace,    // the cause says why
  kCannotCreateFindReport,
  kFindReportIncomplete,
  kConversionUnmapped,   // %1 count, %2 encoding
  kCannotOpenMapping,    // %1 the mapping's file; the cause says why
  kMappingFailed,        // the Chinese character mapping failed
  kCannotEncode,         // %1 encoding
  kAlreadyUtf8,
  kCharacterNotHeld,     // %1 character, %2 code point, %3 line, %4 encoding
  kInvalidBytes,         // %1 encoding
  kDefinitionFault,      // %1 row, %2 fault (a rendered pattern error)
  kDefinitionFaultIn,    // %1 row, %2 code page, %3 fault
  kMissingGroup,         // %1 row, %2 group, %3 groups the expression has
  kSearchGaveUp,         // %1 row, %2 byte offset
  kNotApplied,           // %1 total; %2..%8 the counts of each NotAppliedReason
  kNameNotCarried,
  kReplacementNotHeld,   // %1 row, %2 encoding
  kNameTaken,            // %1 the name in the way
  kNameTooLong,          // a new name over 255 bytes
  kNameNotCarriedBack,
  kNameEmpty,
  kNameHasControl,
  kNamesSkipped,         // %1 the names
  kOtherStoriesNotSearched,  // %1 occurrences in an office document's further stories
  kOtherStoriesNotSearchedInWindow,  // the same, naming the window's option
  kStandInsNotSearched,  // %1 characters of a document the code page cannot hold
  kStandInsNotSearchedInWindow,  // the same, naming the window's setting
  kReadInPartCounted,    // a find counted the text of a document read in part
  kReadInPartLeft,       // a document read in part is left as it is

  // Pattern errors, in the order of PatternError from PATTERN_ERR_MEMORY;
  // %1 the character where the fault is.
  kPatternMemory,
  kPatternBrace,
  kPatternParen,
  kPatternBracket,
  kPatternAbbreviation,
  kPatternEmptyClass,
  kPatternGroupReference,
  kPatternRange,
  kPatternEmptyRepeat,
  kPatternNoInput,
  kPatternNesting,
  kPatternTooLarge,

  // Undo.
  kOverUndoLimit,        // %1 MiB the files hold, %2 MiB undo keeps
  kRunNotRecorded,       // the cause says why
  kNoUndoOverLimit,      // refused: the run is larger than undo keeps
  kUndoStopped,
  kNotUndone,            // the cause says why
  kJournalUnreadable,    // %1 run id; the cause says why
  kUndoUnfinished,       // %1 undo id, %2 run id
  kUndoCannotFinish,     // %1 undo id; the cause says why
  kUndoLeavesRefused,    // %1 count
  kNoRunToUndo,
  kNoSuchRun,            // %1 run id
  kAlreadyUndone,        // %1 run id, %2 undo id
  // Why a run cannot be recorded or read back.
  kCannotCompress,       // %1 file; the cause is the library's reason
  kNoJournalIn,          // %1 folder
  kFileDamaged,          // %1 file
  kCannotWriteJournal,   // %1 folder
  kCannotKeepOldBytes,   // the cause says why
  kCannotCreateJournal,  // %1 folder
  kJournalOlderFormat,   // %1 run id
  kCannotExamineForUndo, // %1 path
  // Why a file is not taken back.
  kReplacedByLink,
  kNoLongerRegular,
  kLinkGone,
  kNoLongerLinkTo,       // %1 the link's target then
  kRecordDamaged,
  kStoppedInPlace,
  kChangedAfterRun,
  kGone,
  kOldNameTaken,         // %1 the old name
  kMadeAfterRun,

  // Line sort.
  kSortTableUnreadable,  // the cause says why
  kSortTableFile,        // %1 path; the cause says what is wrong with it

  // Preview and plan.
  kChangedSincePreview,
  kPlanNamesFileTwice,
  kLeftAsItIs,           // the cause says why this file is not written
  kChangesNotInEncoding,
  kCannotMakeCopyFolder, // %1 folder
  kNoBackupNoChange,     // the cause says why no backup was made
  kDocumentAllOrNothing,
  kChangesOutsideFile,
  kPlanEncodingChanged,  // %1 the plan's encoding
  kChangedSincePlan,
  kPlanEncodingNotFile,  // %1 the plan's encoding
  kPlanOffsetPastEnd,    // %1 offset, %2 the file's size
  kPlanLengthPastEnd,    // %1 length, %2 offset, %3 the file's size
  kPlanLineOutside,      // %1 line, %2 offset, %3 the file's lines
  kPlanBytesDiffer,      // %1 offset
  kPlanChangesOverlap,
  // A plan that is refused whole, and an entry of one that is.
  kNotAPlan,
  kPlanEntryNotObject,   // %1 the entry's number
  kPlanEntryNoPath,      // %1 the entry's number
  kPlanTooOld,           // %1 the entry's number
  kPlanFieldMissing,     // %1 field
  kPlanFieldNotNumber,   // %1 field, %2 its value
  kPlanFieldNotString,   // %1 field
  kPlanFieldNotBoolean,  // %1 field
  kPlanHasDocument,
  kPlanNotSha256,
  kPlanChangesNotList,
  kPlanChange,           // %1 the change's number; the cause says what is wrong
  kPlanChangeNotObject,
  kPlanNotHex,           // %1 field
  kPlanTextNotHeld,      // %1 encoding

  // Office documents: why one is left out.
  kEmptyNotWordDocument,
  kEmptyNotWorkbook,
  kEmptyNotPresentation,
  kPasswordProtected,
  kEncryptedAsWhole,
  kNotOpenDocumentText,
  kNotOpenDocumentSpreadsheet,
  kNotOpenDocumentPresentation,
  kLeftOut,              // the cause, then that the document is left out
  kTextCannotBeRead,     // the cause inside: why its text cannot be read
  kNotAZip,              // %1 libzip's reason
  kTwoEntriesNamed,      // %1 the entry's name
  kPartMissing,          // %1 part
  kPartUnreadable,       // %1 part, %2 libzip's or the XML scanner's reason
  kPartEncrypted,        // %1 part
  kPartSizeUnsaid,       // %1 part
  kPartOverLimit,        // %1 part, %2 its declared size, %3 the limit
  kPartPastDeclared,     // %1 part, %2 its declared size
  kPartReadStopped,      // %1 part
  kNoMainDocument,
  kNoWorkbook,
  kNoPresentation,
  kCannotSave,           // %1 path; the cause says why
  kTextLayOutStopped,
  kNotEnoughMemoryToRead,
  kLibreOfficeNoDocument,
  kLibreOfficeReadsAs,   // %1 LibreOffice's filter, %2 the kind ("a Word")
  kInUseElsewhere,       // %1 the lock file
  kLibreOfficeCannotStart,  // %1 the reason beneath
  kLibreOfficeUnusable,  // %1 the reason beneath

  kCount
};

struct Message {
  MessageId id = MessageId::kNone;
  std::vector<std::string> args;  // UTF-8 (paths as they are)
  int osError = 0;                // errno, told after the sentence
  std::shared_ptr<const Message> cause;

  Message() = default;
  Message(MessageId messageId, std::initializer_list<std::string> arguments = {})
      : id(messageId), args(arguments) {}

  bool Empty() const { return id == MessageId::kNone; }

  // The same sentence, arguments, errno and causes.
  bool operator==(const Message& other) const {
    if (id != other.id || args != other.args || osError != other.osError) return false;
    if (!cause || !other.cause) return !cause && !other.cause;
    return *cause == *other.cause;
  }

  // This message, followed by the one it follows from.
  Message Because(Message reason) const {
    Message out = *this;
    out.cause = std::make_shared<const Message>(std::move(reason));
    return out;
  }
  // This message with last added at the end of its chain of causes.
  Message Then(Message last) const {
    if (!cause) return Because(std::move(last));
    return Because(cause->Then(std::move(last)));
  }
  Message WithOsError(int error) const {
    Message out = *this;
    out.osError = error;
    return out;
  }
};

// A message about a system call that just failed: errno is its reason.
inline Message OsFailure(MessageId id, std::initializer_list<std::string> arguments) {
  const int error = errno;
  return Message(id, arguments).WithOsError(error);
}

// A text a library gave us, as it is.
inline Message LibraryText(std::string text) {
  Message out(MessageId::kLibraryText);
  out.args.push_back(std::move(text));
  return out;
}

// What a command asks before it goes on. True means Yes.
enum class Question {
  kChangeFiles,                // files will be changed; the run can be undone
  kChangeFilesWithoutUndo,     // files will be changed; undo is off
  kGoOnWithoutUndoOverLimit,   // the run is larger than undo keeps
  kGoOnWithoutJournal,         // the run cannot be recorded for undo
  kUndoLastRun,
  kUndoChosenRun,
  kSortFiles,
};

}  // namespace strbatch

#endif  // STRBATCH_BASE_MESSAGE_H_

#include "config/message_text.h"

#include <locale.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace strbatch {
namespace {

struct MessageKeyRow {
  MessageId id;
  const char* key;
};

// Every message the core gives, with its key in the language files.
constexpr MessageKeyRow kMessageKeys[] = {
    {MessageId::kCannotOpen, "1441"},
    {MessageId::kCannotRead, "1442"},
    {MessageId::kCannotWrite, "1443"},
    {MessageId::kCannotExamine, "1444"},
    {MessageId::kCannotDelete, "1445"},
    {MessageId::kCannotResolve, "1446"},
    {MessageId::kCannotClose, "1447"},
    {MessageId::kCannotReplace, "1448"},
    {MessageId::kCannotSetMode, "1449"},
    {MessageId::kCannotKeepLock, "1450"},
    {MessageId::kCannotCreateTempBeside, "1451"},
    {MessageId::kCannotKeepCopy, "1452"},
    {MessageId::kCannotKeepCopyIn, "1453"},
    {MessageId::kCannotMove, "1454"},
    {MessageId::kIsDirectory, "1455"},
    {MessageId::kNotRegularFile, "1456"},
    {MessageId::kTooLargeForMemory, "1457"},
    {MessageId::kChangedWhileOpened, "1458"},
    {MessageId::kCannotCutToLength, "1459"},
    {MessageId::kOriginalKeptIn, "1460"},
    {MessageId::kNoPrivateFolder, "1461"},
    {MessageId::kCannotWriteStandardOutput, "1462"},
    {MessageId::kNoBackupMade, "1463"},
    {MessageId::kBackupIsLink, "1464"},
    {MessageId::kBackupNotPlain, "1465"},
    {MessageId::kRestoredBut, "1466"},
    {MessageId::kFindReportNoPlace, "1467"},
    {MessageId::kCannotCreateFindReport, "1468"},
    {MessageId::kFindReportIncomplete, "1469"},
    {MessageId::kConversionUnmapped, "1147"},
    {MessageId::kAlreadyUtf8, "1148"},
    {MessageId::kCharacterNotHeld, "1149"},
    {MessageId::kInvalidBytes, "1150"},
    {MessageId::kDefinitionFault, "1111"},
    {MessageId::kDefinitionFaultIn, "1112"},
    {MessageId::kMissingGroup, "1140"},
    {MessageId::kSearchGaveUp, "1141"},
    {MessageId::kNotApplied, "1152"},
    {MessageId::kNameNotCarried, "1470"},
    {MessageId::kReplacementNotHeld, "1471"},
    {MessageId::kNameTaken, "1193"},
    {MessageId::kNameTooLong, "1518"},
    {MessageId::kNameNotCarriedBack, "1519"},
    {MessageId::kNameEmpty, "1520"},
    {MessageId::kNameHasControl, "1521"},
    {MessageId::kNamesSkipped, "1194"},
    {MessageId::kOtherStoriesNotSearched, "1861"},
    {MessageId::kOtherStoriesNotSearchedInWindow, "1863"},
    {MessageId::kStandInsNotSearched, "1890"},
    {MessageId::kStandInsNotSearchedInWindow, "1864"},
    {MessageId::kReadInPartCounted, "1891"},
    {MessageId::kReadInPartLeft, "1892"},
    {MessageId::kPatternMemory, "1121"},
    {MessageId::kPatternBrace, "1122"},
    {MessageId::kPatternParen, "1123"},
    {MessageId::kPatternBracket, "1124"},
    {MessageId::kPatternAbbreviation, "1125"},
    {MessageId::kPatternEmptyClass, "1126"},
    {MessageId::kPatternGroupReference, "1127"},
    {MessageId::kPatternRange, "1128"},
    {MessageId::kPatternEmptyRepeat, "1129"},
    {MessageId::kPatternNoInput, "1130"},
    {MessageId::kPatternNesting, "1131"},
    {MessageId::kPatternTooLarge, "1132"},
    {MessageId::kOverUndoLimit, "1472"},
    {MessageId::kRunNotRecorded, "1473"},
    {MessageId::kNoUndoOverLimit, "1474"},
    {MessageId::kUndoStopped, "1475"},
    {MessageId::kNotUndone, "1476"},
    {MessageId::kJournalUnreadable, "1477"},
    {MessageId::kUndoUnfinished, "1478"},
    {MessageId::kUndoCannotFinish, "1479"},
    {MessageId::kUndoLeavesRefused, "1480"},
    {MessageId::kNoRunToUndo, "1481"},
    {MessageId::kNoSuchRun, "1482"},
    {MessageId::kAlreadyUndone, "1483"},
    {MessageId::kReplacedByLink, "1508"},
    {MessageId::kNoLongerRegular, "1509"},
    {MessageId::kLinkGone, "1510"},
    {MessageId::kNoLongerLinkTo, "1511"},
    {MessageId::kRecordDamaged, "1512"},
    {MessageId::kStoppedInPlace, "1513"},
    {MessageId::kChangedAfterRun, "1514"},
    {MessageId::kGone, "1515"},
    {MessageId::kOldNameTaken, "1516"},
    {MessageId::kMadeAfterRun, "1517"},
    {MessageId::kSortTableUnreadable, "1484"},
    {MessageId::kChangedSincePreview, "1210"},
    {MessageId::kPlanNamesFileTwice, "1522"},
    {MessageId::kNotValidUtf16, "1523"},
    {MessageId::kTextNotWritableAs, "1524"},
    {MessageId::kCannotCreate, "1525"},
    {MessageId::kNotAFolder, "1526"},
    {MessageId::kNoHomeFolder, "1527"},
    {MessageId::kPrivateFolderIsLink, "1528"},
    {MessageId::kOwnedByAnotherUser, "1529"},
    {MessageId::kCannotMakePrivate, "1530"},
    {MessageId::kTooLargeForSettings, "1531"},
    {MessageId::kCannotStoreKey, "1532"},
    {MessageId::kNoSettingsPlace, "1533"},
    {MessageId::kDefinitionFileWhole, "1534"},
    {MessageId::kDefinitionFileLine, "1535"},
    {MessageId::kFileEmpty, "1536"},
    {MessageId::kNoXmlDeclaration, "1537"},
    {MessageId::kEndsInDeclaration, "1538"},
    {MessageId::kEndsInCdata, "1539"},
    {MessageId::kEndsInTag, "1540"},
    {MessageId::kEndsInNamedTag, "1541"},
    {MessageId::kNoElement, "1542"},
    {MessageId::kRootNotReplace, "1543"},
    {MessageId::kEndsBeforeClosed, "1544"},
    {MessageId::kNotMovedAside, "1545"},
    {MessageId::kEveryNameTaken, "1546"},
    {MessageId::kCannotOpenMapping, "1547"},
    {MessageId::kMappingFailed, "1548"},
    {MessageId::kCannotEncode, "1549"},
    {MessageId::kCannotCompress, "1550"},
    {MessageId::kNoJournalIn, "1551"},
    {MessageId::kFileDamaged, "1552"},
    {MessageId::kCannotWriteJournal, "1553"},
    {MessageId::kCannotKeepOldBytes, "1554"},
    {MessageId::kCannotCreateJournal, "1555"},
    {MessageId::kJournalOlderFormat, "1556"},
    {MessageId::kCannotExamineForUndo, "1557"},
    {MessageId::kSortTableFile, "1558"},
    {MessageId::kLeftAsItIs, "1559"},
    {MessageId::kChangesNotInEncoding, "1560"},
    {MessageId::kCannotMakeCopyFolder, "1561"},
    {MessageId::kNoBackupNoChange, "1562"},
    {MessageId::kDocumentAllOrNothing, "1563"},
    {MessageId::kChangesOutsideFile, "1564"},
    {MessageId::kPlanEncodingChanged, "1565"},
    {MessageId::kChangedSincePlan, "1566"},
    {MessageId::kPlanEncodingNotFile, "1567"},
    {MessageId::kPlanOffsetPastEnd, "1568"},
    {MessageId::kPlanLengthPastEnd, "1569"},
    {MessageId::kPlanLineOutside, "1570"},
    {MessageId::kPlanBytesDiffer, "1571"},
    {MessageId::kPlanChangesOverlap, "1572"},
    {MessageId::kNotAPlan, "1573"},
    {MessageId::kPlanEntryNotObject, "1574"},
    {MessageId::kPlanEntryNoPath, "1575"},
    {MessageId::kPlanTooOld, "1576"},
    {MessageId::kPlanFieldMissing, "1577"},
    {MessageId::kPlanFieldNotNumber, "1578"},
    {MessageId::kPlanFieldNotString, "1579"},
    {MessageId::kPlanFieldNotBoolean, "1580"},
    {MessageId::kPlanHasDocument, "1581"},
    {MessageId::kPlanNotSha256, "1582"},
    {MessageId::kPlanChangesNotList, "1583"},
    {MessageId::kPlanChange, "1584"},
    {MessageId::kPlanChangeNotObject, "1585"},
    {MessageId::kPlanNotHex, "1586"},
    {MessageId::kPlanTextNotHeld, "1587"},
    {MessageId::kEmptyNotWordDocument, "1910"},
    {MessageId::kEmptyNotWorkbook, "1911"},
    {MessageId::kEmptyNotPresentation, "1912"},
    {MessageId::kPasswordProtected, "1913"},
    {MessageId::kEncryptedAsWhole, "1914"},
    {MessageId::kNotOpenDocumentText, "1915"},
    {MessageId::kNotOpenDocumentSpreadsheet, "1916"},
    {MessageId::kNotOpenDocumentPresentation, "1917"},
    {MessageId::kLeftOut, "1918"},
    {MessageId::kTextCannotBeRead, "1919"},
    {MessageId::kNotAZip, "1920"},
    {MessageId::kTwoEntriesNamed, "1921"},
    {MessageId::kPartMissing, "1922"},
    {MessageId::kPartUnreadable, "1923"},
    {MessageId::kPartEncrypted, "1924"},
    {MessageId::kPartSizeUnsaid, "1925"},
    {MessageId::kPartOverLimit, "1926"},
    {MessageId::kPartPastDeclared, "1927"},
    {MessageId::kPartReadStopped, "1928"},
    {MessageId::kNoMainDocument, "1929"},
    {MessageId::kNoWorkbook, "1930"},
    {MessageId::kNoPresentation, "1931"},
    {MessageId::kCannotSave, "1932"},
    {MessageId::kTextLayOutStopped, "1933"},
    {MessageId::kNotEnoughMemoryToRead, "1934"},
    {MessageId::kLibreOfficeNoDocument, "1935"},
    {MessageId::kLibreOfficeReadsAs, "1936"},
    {MessageId::kInUseElsewhere, "1937"},
    {MessageId::kLibreOfficeCannotStart, "1938"},
    {MessageId::kLibreOfficeUnusable, "1939"},
};

// The joiner between a sentence and its reason (": ", or full-width in
// Chinese).
constexpr const char* kJoinerKey = "1400";
// "system error %1", for an errno the catalog has no text of.
constexpr const char* kSystemErrorKey = "1401";

struct ErrnoKeyRow {
  int error;
  const char* key;
};

constexpr ErrnoKeyRow kErrnoKeys[] = {
    {ENOENT, "1402"},       {EACCES, "1403"},    {EEXIST, "1404"},  {ENOSPC, "1405"},
    {EROFS, "1406"},        {EISDIR, "1407"},    {ENOTDIR, "1408"}, {ELOOP, "1409"},
    {EXDEV, "1410"},        {EIO, "1411"},       {EBUSY, "1412"},   {ETXTBSY, "1413"},
    {EMLINK, "1414"},       {ENAMETOOLONG, "1415"}, {EPERM, "1416"}, {EINVAL, "1417"},
    {ENOMEM, "1418"},       {EDQUOT, "1419"},    {EFBIG, "1420"},   {EMFILE, "1421"},
    {ENOTEMPTY, "1422"},    {EAGAIN, "1423"},    {ENFILE, "1424"},  {EOVERFLOW, "1425"},
};

struct QuestionRow {
  Question question;
  const char* text;
  const char* caption;
};

constexpr QuestionRow kQuestions[] = {
    {Question::kChangeFiles, "1023", "1024"},
    {Question::kChangeFilesWithoutUndo, "1430", "1024"},
    {Question::kGoOnWithoutUndoOverLimit, "1302", "1024"},
    {Question::kGoOnWithoutJournal, "1307", "1024"},
    {Question::kUndoLastRun, "1300", "1301"},
    {Question::kUndoChosenRun, "1308", "1301"},
    {Question::kSortFiles, "1108", "1109"},
};

const QuestionRow& QuestionOf(Question question) {
  for (const QuestionRow& row : kQuestions) {
    if (row.question == question) return row;
  }
  return kQuestions[0];
}

// The reasons of kNotApplied, in the order of NotAppliedReason.
constexpr const char* kNotAppliedReasonKeys[] = {"1153", "1154", "1155", "1156", "1157", "1158", "1860"};

// Sentences that word their cause inside ("...; left out") rather than
// after the joiner.
bool HoldsItsCause(MessageId id) {
  return id == MessageId::kLeftOut || id == MessageId::kTextCannotBeRead;
}

// strerror_l in the named locale, or "" when the system has no such locale.
std::string SystemReason(int osError, const char* localeName) {
  static std::mutex mutex;
  static std::map<std::string, locale_t> locales;
  std::lock_guard<std::mutex> lock(mutex);
  auto found = locales.find(localeName);
  if (found == locales.end()) {
    found = locales.emplace(localeName, newlocale(LC_MESSAGES_MASK, localeName, locale_t{})).first;
  }
  if (found->second == locale_t{}) return "";
  return strerror_l(osError, found->second);
}

// The catalog's sentence of the kNotApplied notice: each reason with its count.
std::string NotAppliedText(const LanguageCatalog& texts, const Message& message) {
  std::string reasons;
  const std::string separator = texts.CurrentLanguage() == Language::English ? "; " : "；";
  for (size_t r = 0; r < std::size(kNotAppliedReasonKeys) && r + 1 < message.args.size(); r++) {
    const std::string& count = message.args[r + 1];
    if (count.empty() || count == "0") continue;
    if (!reasons.empty()) reasons += separator;
    reasons += texts.Message(kNotAppliedReasonKeys[r], {count});
  }
  return texts.Message(MessageKey(message.id), {message.args.empty() ? "" : message.args[0], reasons});
}

}  // namespace

const char* MessageKey(MessageId id) {
  for (const MessageKeyRow& row : kMessageKeys) {
    if (row.id == id) return row.key;
  }
  return "";
}

std::string MessageText(const LanguageCatalog& texts, const Message& message) {
  std::string out;
  if (message.id == MessageId::kLibraryText) {
    if (!message.args.empty()) out = message.args[0];
  } else if (message.id == MessageId::kNotApplied) {
    out = NotAppliedText(texts, message);
  } else if (HoldsItsCause(message.id)) {
    // The cause is worded inside the sentence, as its last argument.
    std::vector<std::string> args = message.args;
    args.push_back(message.cause ? MessageText(texts, *message.cause) : "");
    out = texts.Message(MessageKey(message.id), args);
  } else if (message.id != MessageId::kNone) {
    out = texts.Message(MessageKey(message.id), message.args);
  }
  const std::string joiner = texts.Message(kJoinerKey);
  auto append = [&](const std::string& more) {
    if (more.empty()) return;
    if (!out.empty()) out += joiner.empty() ? ": " : joiner;
    out += more;
  };
  if (message.osError != 0) append(OsErrorText(texts, message.osError));
  if (message.cause && !HoldsItsCause(message.id)) append(MessageText(texts, *message.cause));
  return out;
}

const char* QuestionKey(Question question) { return QuestionOf(question).text; }
const char* QuestionCaptionKey(Question question) { return QuestionOf(question).caption; }

std::string QuestionText(const LanguageCatalog& texts, Question question) {
  return texts.Message(QuestionKey(question));
}

std::string QuestionCaption(const LanguageCatalog& texts, Question question) {
  return texts.Message(QuestionCaptionKey(question));
}

std::string OsErrorText(const LanguageCatalog& texts, int osError) {
  return OsErrorTextIn(texts, osError,
                       texts.CurrentLanguage() == Language::English ? "C" : "zh_CN.UTF-8");
}

std::string OsErrorTextIn(const LanguageCatalog& texts, int osError, const char* localeName) {
  std::string reason = SystemReason(osError, localeName);
  // A locale made without the C library's translations gives the English
  // reason: for another language the catalog's is the better one.
  if (!reason.empty() && texts.CurrentLanguage() != Language::English &&
      reason == SystemReason(osError, "C")) {
    reason.clear();
  }
  if (!reason.empty()) return reason;
  for (const ErrnoKeyRow& row : kErrnoKeys) {
    if (row.error == osError) reason = texts.Message(row.key);
  }
  if (!reason.empty()) return reason;
  return texts.Message(kSystemErrorKey, {std::to_string(osError)});
}

}  // namespace strbatch

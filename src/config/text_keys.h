// The keys of section "string" of the language files that the two programs
// and the core's progress captions read: each is named here, once, after
// what its text says (scripts/check-text-keys keeps key numbers out of the
// rest of src/). A typed message's key lives in message_text.cc's table;
// control captions are found by the control's id, not by these keys.
#ifndef STRBATCH_CONFIG_TEXT_KEYS_H_
#define STRBATCH_CONFIG_TEXT_KEYS_H_

namespace strbatch::key {

// Captions of message boxes.
inline constexpr char kErrorCaption[] = "1102";
inline constexpr char kConfirmCaption[] = "1024";
inline constexpr char kImportantCaption[] = "1109";
inline constexpr char kFileListCaption[] = "1012";

// Progress captions of a batch, each followed by the file's name or number.
inline constexpr char kProcessingFile[] = "1025";
inline constexpr char kRestoringBackup[] = "1026";
inline constexpr char kDeletingBackup[] = "1027";
inline constexpr char kLookingForFiles[] = "1178";

// The main window's lists: column titles, adding files, the status line.
inline constexpr char kNumberColumn[] = "1002";
inline constexpr char kFileColumn[] = "1003";
inline constexpr char kHitsColumn[] = "1004";
inline constexpr char kFindColumn[] = "1005";
inline constexpr char kReplaceWithColumn[] = "1006";
inline constexpr char kFilesToAddFilter[] = "1008";
inline constexpr char kChooseFolderTitle[] = "1001";
inline constexpr char kAddFolderTitle[] = "1015";
inline constexpr char kFileNamePatternsPrompt[] = "1016";
inline constexpr char kSearchSubfoldersQuestion[] = "1017";
inline constexpr char kTooManyFiles[] = "1011";
inline constexpr char kFilesAdded[] = "1173";
inline constexpr char kMissingNotAdded[] = "1180";
inline constexpr char kFolderNotRead[] = "1192";
inline constexpr char kStatusLineName[] = "1179";

// Definition files and the definition editor.
inline constexpr char kDefinitionFileFilter[] = "1013";
inline constexpr char kNoDefinitionRead[] = "1160";
inline constexpr char kSomeItemsNotLoaded[] = "1161";
inline constexpr char kDefinitionsImported[] = "1162";
inline constexpr char kDefinitionsExported[] = "1174";
inline constexpr char kDefinitionFileRefusedListUnchanged[] = "1242";
inline constexpr char kKeptDefinitionsMovedAside[] = "1243";
inline constexpr char kKeptDefinitionsRefused[] = "1244";
inline constexpr char kInputTooLong[] = "1101";
inline constexpr char kCharacterNotHeldInField[] = "1151";

// Files the windows read and write themselves (viewer, settings, tables).
inline constexpr char kCannotReadFile[] = "1103";
inline constexpr char kCannotWriteFile[] = "1104";
inline constexpr char kChangesNotSaved[] = "1105";
inline constexpr char kSaveReplacesUnshownBytes[] = "1107";
inline constexpr char kOccurrenceOfCount[] = "1177";
inline constexpr char kSortTableUnreadable[] = "1245";
inline constexpr char kNoDesktopOpener[] = "1176";
inline constexpr char kDesktopCouldNotOpen[] = "1175";

// How a command ended, on the window's status line and in its boxes.
inline constexpr char kOccurrencesReplaced[] = "1163";
inline constexpr char kOccurrencesFound[] = "1164";
inline constexpr char kFilesRenamed[] = "1165";
inline constexpr char kFilesConverted[] = "1166";
inline constexpr char kBackupsRestored[] = "1167";
inline constexpr char kBackupsDeleted[] = "1168";
inline constexpr char kFilesSorted[] = "1169";
inline constexpr char kStoppedAfterFile[] = "1170";
inline constexpr char kFilesNotProcessedSuffix[] = "1171";
inline constexpr char kNothingChanged[] = "1172";
inline constexpr char kFilesTakenBack[] = "1303";
inline constexpr char kFilesTakenBackSomeLeft[] = "1304";
inline constexpr char kNoRunToUndo[] = "1305";
inline constexpr char kOfficeAutomationError[] = "1110";
inline constexpr char kWarningsHeading[] = "1106";
inline constexpr char kNoticesHeading[] = "1144";

// The preview of a batch replace.
inline constexpr char kPreviewButton[] = "1200";
inline constexpr char kPreviewTitle[] = "1201";
inline constexpr char kApplyChecked[] = "1202";
inline constexpr char kPreviewClose[] = "1203";
inline constexpr char kNextChange[] = "1204";
inline constexpr char kPreviousChange[] = "1205";
inline constexpr char kAcceptAllInFile[] = "1206";
inline constexpr char kSkipAllInFile[] = "1207";
inline constexpr char kPreviewFileColumn[] = "1208";
inline constexpr char kPreviewChangesColumn[] = "1209";
inline constexpr char kPreviewLineColumn[] = "1214";
inline constexpr char kPreviewChangeColumn[] = "1215";
inline constexpr char kChangesWritten[] = "1211";
inline constexpr char kReplaceWouldChangeNothing[] = "1212";
inline constexpr char kPreviewClosedNothingWritten[] = "1213";
// "3 files, 15,006 changes, 15,004 checked": the preview's counts.
inline constexpr char kPreviewSummary[] = "1940";

// What the command-line program says of a run and its input.
inline constexpr char kRunStoppedAfterFile[] = "1142";
inline constexpr char kNotConfirmed[] = "1143";
inline constexpr char kDefinitionCharacterNotHeld[] = "1145";
inline constexpr char kDefinitionNotUtf8[] = "1146";
inline constexpr char kDefinitionFileRefusedNothingLoaded[] = "1240";
inline constexpr char kSortTableRefused[] = "1241";
inline constexpr char kNotAFolder[] = "1500";
inline constexpr char kNoFilesGiven[] = "1501";
inline constexpr char kNoFilesToProcess[] = "1502";
inline constexpr char kNullWithoutFilesFrom[] = "1503";
inline constexpr char kIncludeWithoutFolder[] = "1504";
inline constexpr char kReportFolderMissing[] = "1505";
inline constexpr char kReportIsFolder[] = "1506";
inline constexpr char kReportCannotBeWritten[] = "1507";
inline constexpr char kOfficeDocumentNote[] = "1851";
inline constexpr char kEncodingNote[] = "1852";
// Where a hunk of an office document's diff lies.
inline constexpr char kPlaceParagraph[] = "1857";
inline constexpr char kPlaceCell[] = "1858";
inline constexpr char kPlaceShape[] = "1859";
inline constexpr char kPlaceComment[] = "1908";
inline constexpr char kPlaceSheet[] = "1909";
// The further stories of an office document, in the order of OfficeStory
// after the body.
inline constexpr char kStoryHeadersFooters[] = "1900";
inline constexpr char kStoryFootnotes[] = "1901";
inline constexpr char kStoryEndnotes[] = "1902";
inline constexpr char kStoryComments[] = "1903";
inline constexpr char kStoryTextBoxes[] = "1904";
inline constexpr char kStoryCellComments[] = "1905";
inline constexpr char kStorySheetNames[] = "1906";
inline constexpr char kStorySlideNotes[] = "1907";

// The command-line program's --help: the program, CLI11's headings and
// names, each command, each option, the footers.
inline constexpr char kHelpProgram[] = "1600";
inline constexpr char kHelpVersionOption[] = "1601";
inline constexpr char kHelpHelpOption[] = "1602";
inline constexpr char kHelpUsageLabel[] = "1603";
inline constexpr char kHelpOptionsLabel[] = "1604";
inline constexpr char kHelpSubcommandLabel[] = "1605";
inline constexpr char kHelpPositionalsLabel[] = "1606";
inline constexpr char kHelpOptionsGroup[] = "1607";
inline constexpr char kHelpSubcommandsGroup[] = "1608";
inline constexpr char kHelpRequiredLabel[] = "1609";
inline constexpr char kHelpTextValueName[] = "1610";
inline constexpr char kHelpFilesArgumentName[] = "1611";
inline constexpr char kHelpPlanArgumentName[] = "1612";
inline constexpr char kHelpOutputArgumentName[] = "1613";
inline constexpr char kHelpReplaceCommand[] = "1620";
inline constexpr char kHelpApplyCommand[] = "1621";
inline constexpr char kHelpFindCommand[] = "1622";
inline constexpr char kHelpRenameCommand[] = "1623";
inline constexpr char kHelpConvertCommand[] = "1624";
inline constexpr char kHelpRestoreCommand[] = "1625";
inline constexpr char kHelpClearBackupsCommand[] = "1626";
inline constexpr char kHelpSortCommand[] = "1627";
inline constexpr char kHelpUndoCommand[] = "1628";
inline constexpr char kHelpExportDefinitionsCommand[] = "1629";
inline constexpr char kHelpFilesPositional[] = "1640";
inline constexpr char kHelpFilesFromOption[] = "1641";
inline constexpr char kHelpNullOption[] = "1642";
inline constexpr char kHelpFolderOption[] = "1643";
inline constexpr char kHelpIncludeOption[] = "1644";
inline constexpr char kHelpRecursiveOption[] = "1645";
inline constexpr char kHelpLanguageOption[] = "1646";
inline constexpr char kHelpDefsOption[] = "1647";
inline constexpr char kHelpEncodingOption[] = "1648";
inline constexpr char kHelpPartsOption[] = "1862";
inline constexpr char kHelpIgnoreCaseOption[] = "1649";
inline constexpr char kHelpAdvancedOption[] = "1650";
inline constexpr char kHelpYesOption[] = "1651";
inline constexpr char kHelpJsonOption[] = "1652";
inline constexpr char kHelpBackupOption[] = "1653";
inline constexpr char kHelpNoUndoOption[] = "1654";
inline constexpr char kHelpDryRunOption[] = "1655";
inline constexpr char kHelpPlanPositional[] = "1656";
inline constexpr char kHelpReportOption[] = "1657";
inline constexpr char kHelpConvertToOption[] = "1658";
inline constexpr char kHelpSortCaseOption[] = "1659";
inline constexpr char kHelpSortWidthOption[] = "1660";
inline constexpr char kHelpSortSpacesOption[] = "1661";
inline constexpr char kHelpSortReverseOption[] = "1662";
inline constexpr char kHelpSortUniqueOption[] = "1663";
inline constexpr char kHelpSortEqualOption[] = "1664";
inline constexpr char kHelpSortIgnoreOption[] = "1665";
inline constexpr char kHelpUndoListOption[] = "1666";
inline constexpr char kHelpUndoRunOption[] = "1667";
inline constexpr char kHelpOutputPositional[] = "1668";
inline constexpr char kHelpDefinitionsFooter[] = "1680";
inline constexpr char kHelpPlanFooter[] = "1681";
inline constexpr char kHelpExitStatusFooter[] = "1682";
// The window program's --help.
inline constexpr char kWindowUsage[] = "1720";

// The command-line program's usage errors.
inline constexpr char kUnexpectedArgument[] = "1700";
inline constexpr char kUnexpectedArguments[] = "1701";
inline constexpr char kNotACommand[] = "1702";
inline constexpr char kCommandRequired[] = "1703";
inline constexpr char kArgumentRequired[] = "1704";
inline constexpr char kNeedsValue[] = "1705";
inline constexpr char kValueNotAllowed[] = "1706";
inline constexpr char kDefinitionNeedsTwoStrings[] = "1707";
inline constexpr char kTakesNoDefinitions[] = "1708";
inline constexpr char kCommandLineUnreadable[] = "1709";
inline constexpr char kEmptyRunId[] = "1710";

// What nobody expected: an exception, settings that could not be saved.
inline constexpr char kCommandDidNotFinish[] = "1850";
inline constexpr char kUnknownException[] = "1853";
inline constexpr char kInternalErrorNothingChanged[] = "1854";
inline constexpr char kInternalErrorFilesChanged[] = "1855";
inline constexpr char kSettingsNotSaved[] = "1856";
inline constexpr char kStartFolderAdded[] = "1950";
inline constexpr char kFilesInList[] = "1951";
inline constexpr char kDefinitionsInList[] = "1952";
inline constexpr char kPreviewDescription[] = "1953";
inline constexpr char kHelpWindowTitle[] = "1954";
inline constexpr char kOpenInBrowser[] = "1955";
inline constexpr char kLastMatch[] = "1956";
inline constexpr char kFirstMatch[] = "1957";

}  // namespace strbatch::key

#endif  // STRBATCH_CONFIG_TEXT_KEYS_H_

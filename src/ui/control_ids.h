// The resource ids of the windows' controls, by name. The language files
// caption each control by its id (section of its dialog, key = the id), so
// the numbers are fixed; the window code and its tests use the names.
#ifndef STRBATCH_UI_CONTROL_IDS_H_
#define STRBATCH_UI_CONTROL_IDS_H_

namespace strbatch::control {

// Every dialog: its confirming and its closing button.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// The main window ("dialog_main").
inline constexpr int kBatchReplace = 1;
inline constexpr int kExit = 2;
inline constexpr int kBatchRename = 8;
inline constexpr int kConvertCode = 10;
inline constexpr int kBatchFind = 11;
inline constexpr int kSortLines = 12;
inline constexpr int kAddFiles = 1002;
inline constexpr int kDeleteFile = 1003;
inline constexpr int kClearFiles = 1005;
inline constexpr int kAddDefinition = 1007;
inline constexpr int kEditDefinition = 1008;
inline constexpr int kDeleteDefinition = 1009;
inline constexpr int kClearDefinitions = 1010;
inline constexpr int kFileList = 1012;
inline constexpr int kDefinitionList = 1013;
inline constexpr int kImport = 1015;
inline constexpr int kExport = 1017;
inline constexpr int kCheckAllDefinitions = 1019;
inline constexpr int kDefinitionUp = 1020;
inline constexpr int kDefinitionDown = 1021;
inline constexpr int kAddFolder = 1022;
inline constexpr int kViewFile = 1024;
inline constexpr int kInvertDefinitions = 1027;
inline constexpr int kCheckAllFiles = 1030;
inline constexpr int kMatchCase = 1032;
inline constexpr int kAdvanced = 1033;
inline constexpr int kInvertFiles = 1036;
inline constexpr int kFileUp = 1037;
inline constexpr int kFileDown = 1039;
inline constexpr int kGbkToBig5 = 1041;
inline constexpr int kGbkToTraditional = 1042;
inline constexpr int kBig5ToGbk = 1043;
inline constexpr int kGbkToSimplified = 1044;
inline constexpr int kNoConversion = 1046;
inline constexpr int kConversionFrame = 1048;
inline constexpr int kReportAfterFind = 1049;
inline constexpr int kAutoBackup = 1053;
inline constexpr int kRestoreBackups = 1054;
inline constexpr int kUndoLastRun = 1306;
inline constexpr int kDeleteBackups = 1055;
inline constexpr int kChinese = 1056;
inline constexpr int kEnglish = 1057;
inline constexpr int kFileFrame = 1058;
inline constexpr int kDefinitionFrame = 1059;
inline constexpr int kToUtf8 = 1062;
inline constexpr int kUtf8ToGbk = 1063;
inline constexpr int kEncodingLabel = 1064;
inline constexpr int kEncodingChoice = 1065;
inline constexpr int kAllParts = 1066;
inline constexpr int kHelp = 57670;

// The definition editor ("IDD_DLGSTR").
inline constexpr int kFindLabel = 1060;
inline constexpr int kReplaceLabel = 1061;
inline constexpr int kFindEdit = 1014;
inline constexpr int kReplaceEdit = 1016;

// The viewer ("IDD_DLGVIEW").
inline constexpr int kViewerText = 101;
inline constexpr int kNextOccurrence = 1050;
inline constexpr int kPreviousOccurrence = 1051;
inline constexpr int kSaveFile = 1052;

// The progress window ("IDD_PROGRESS").
inline constexpr int kProgressBar = 1004;
inline constexpr int kProgressPercent = 1006;
inline constexpr int kProgressMessage = 1008;

// The choice dialog ("IDD_LIST").
inline constexpr int kChoicePrompt = 1070;
inline constexpr int kChoiceSecondPrompt = 1071;
inline constexpr int kChoiceEdit = 1172;

}  // namespace strbatch::control

#endif  // STRBATCH_UI_CONTROL_IDS_H_

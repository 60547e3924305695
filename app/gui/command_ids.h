// app/gui/command_ids.h: the numeric ids of the program's commands, kept on each QAction as its data.
#pragma once

namespace kalvo {

// File and application commands of the window without a document.
inline constexpr int kIdFileNew = 57600;
inline constexpr int kIdFileOpen = 57601;
inline constexpr int kIdFileSave = 57603;
inline constexpr int kIdFileMruFirst = 57616;  // the recent-file list: this id and the next three
inline constexpr int kIdAppAbout = 57664;
inline constexpr int kIdAppExit = 57665;

// Editing and pane commands reachable from the keyboard only.
inline constexpr int kIdEditCopy = 57634;
inline constexpr int kIdEditCut = 57635;
inline constexpr int kIdEditPaste = 57637;
inline constexpr int kIdEditUndo = 57643;
inline constexpr int kIdNextPane = 57680;
inline constexpr int kIdPrevPane = 57681;

// The batch commands of the document window.
inline constexpr int kIdSingleRun = 32771;
inline constexpr int kIdRepeatedRun = 32772;
inline constexpr int kIdMultipleInputs = 32773;

// Analyses: a discovery from a sequence file, and the output folder of an earlier one.
inline constexpr int kIdNewAnalysis = 32774;
inline constexpr int kIdOpenAnalysis = 32775;

// Entries of the recent-file list.
inline constexpr int kRecentFileCount = 4;

}  // namespace kalvo

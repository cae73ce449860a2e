// Stable ids of the main window's controls, so tests and tools can find them.
#pragma once

namespace calvorin::win32 {

enum ControlId : int {
  kIdStatusBar1 = 100,
  kIdPageMain = 101,     // Notebook1 page 0 "Main"
  kIdPageResults = 102,  // Notebook1 page 1 "Results"
  kIdImage2 = 110,
  kIdURLLabel1 = 111,
  kIdPcMain = 112,
  kIdTsEasy = 113,
  kIdClickSearchLabel = 120,
  kIdSbSearchE = 121,  // Search (owner-drawn), on the Main page
  kIdButton2 = 122,    // Results: to the Results page
  kIdButton3 = 123,    // Repair, shown when a scan found something
  kIdBitBtn1 = 124,    // Help
  kIdButton4 = 125,    // Restore, enabled while the backup file exists
  kIdCheckBox1 = 126,  // Extra: Repair searches the drive for moved files
  kIdEbNow = 127,
  kIdLabel1 = 128,
  kIdLabel2 = 129,
  kIdLabel3 = 130,
  kIdPb1 = 131,
  kIdMemo2 = 132,
  kIdEdit1 = 133,
  kIdLabel4 = 134,  // the note on changes the registry refused
  kIdPnlSearch = 140,
  kIdLblSearch = 141,
  kIdButton1 = 142,  // Back: from the Results page to the Main page
  kIdLbResults = 143,
  kIdLblResults = 144,  // the list's name for screen readers: a hidden label just before it
  kIdLblTicked = 145,  // how many of the found items are ticked, on the Results page's panel
  kIdRunList = 200,    // the Restore dialog's list of kept runs
};

// Window class of the main window, so a test or a second start can find it.
inline constexpr const char* kMainFormClass = "TMainForm";
inline constexpr const char* kApplicationTitle = "Calvorin";
// Neither the program's folder nor a folder in the user's local application data takes a file.
inline constexpr const char* kNoPlaceToWrite =
    "Calvorin cannot write its files: %s refuses new files, and no folder for them could be "
    "made in your local application data.\n\nRepair cannot run, and the window's settings "
    "will not be kept.";
inline constexpr const char* kRepairCannotRun =
    "Repair cannot run: Calvorin has no folder where it may write the backup of what it "
    "changes (%s refuses new files).";
inline constexpr const char* kBackupFromOtherPlace =
    "This backup lies in %s, where an earlier start of Calvorin wrote it.\n\n";
// Name of the shared instance record and of the registered instance message.
inline constexpr const char* kInstanceName = "Morvash Registry Cleaner";

}  // namespace calvorin::win32

// The window's settings: the settings file read at start and written at the end, and the saved
// search a start or a second start hands over.
#include "app/settings.h"
#include "app/win/main_form.h"
#include "app/win/win_ini_store.h"
#include "app/win/window_placement.h"
#include "savedsearch/saved_search.h"
#include "savedsearch/win/win_saved_search.h"

namespace calvorin::win32 {

void TMainForm::ReadSettings() {
  WinIniStore ini(options_.files.settingsReadPath);
  const FormSettings s = ReadFormSettings(ini);
  controls_.SetTabsAsButtons(s.Buttons == 1);
  SelectTabPage(s.ActivePage);
  perPage_ = s.PerPage;
  maxRslt_ = s.MaxRslt;
}

void TMainForm::SaveSettingsToFile() {
  if (!options_.files.writable) return;  // said once at start
  const auto activePage = static_cast<std::int32_t>(controls_.SelectedTab());
  WinIniStore ini(options_.files.settingsPath);
  SaveSettings(ini, options_.files.settingsPath, PlacementOf(hwnd_), activePage, perPage_,
               maxRslt_);
}

void TMainForm::SelectTabPage(int index) {
  // pcMain has a single page: any index keeps it selected and its controls visible, rather
  // than leaving an empty tab control the user has to click to get back.
  (void)index;
  controls_.SelectTab(0);
}

void TMainForm::OnInstanceMessage() {
  if (!options_.instanceRecord) return;
  const auto* record = static_cast<const unsigned char*>(options_.instanceRecord);
  const std::size_t length = record[8];
  OpenSavedSearch(std::string(reinterpret_cast<const char*>(record + 9), length));
}

void TMainForm::OpenSavedSearch(const std::string& fileName) {
  // What a saved search may change in this window.
  class Host : public SavedSearchHost {
   public:
    explicit Host(TMainForm& form) : f_(form) {}
    void SetPerPage(std::int32_t value) override { f_.perPage_ = value; }
    void SetMaxRslt(std::int32_t value) override { f_.maxRslt_ = value; }
    void SelectPage(int index) override { f_.SelectTabPage(index); }
    void ClearResults() override { f_.ClearResults(); }

   private:
    TMainForm& f_;
  } host(*this);
  WinSavedSearchFiles files;
  WinAnsiConverter converter;
  // An empty name or a missing file reads nothing; a malformed file throws its message.
  ReadSavedSearch(fileName, files, host, converter);
}

}  // namespace calvorin::win32

#pragma once
// The end of a file run: how many files were done, skipped, failed and not
// started, and every file that is not done with the reason. OK closes it.
#include "app/dialogs/dialog_win32.h"
#include "fileenc/file_engine.h"

namespace vellumo {

class CDlgRunSummary : public CDialog {
 public:
  CDlgRunSummary(HWND parent, const RunSummary& summary);

 protected:
  BOOL OnInitDialog() override;

 private:
  const RunSummary& summary_;
};

}  // namespace vellumo

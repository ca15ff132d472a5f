#include "app/dialogs/dlg_run_summary_win32.h"

#include <commctrl.h>

#include <string>

#include "app/dialogs/dialog_text.h"
#include "app/dialogs/file_texts_win32.h"
#include "resources/resource.h"

namespace vellumo {

CDlgRunSummary::CDlgRunSummary(HWND parent, const RunSummary& summary)
    : CDialog(IDD_RUN_SUMMARY, parent), summary_(summary) {}

BOOL CDlgRunSummary::OnInitDialog() {
  // The file in hand when the run was stopped stays as it was: with the files
  // never reached, it is one not started.
  uint64_t notStarted = summary_.notStarted;
  for (const FileResult& file : summary_.files)
    if (file.outcome == FileOutcome::kCancelled) ++notStarted;
  SetItemText(IDC_SUMMARY_TOTAL, FillText(Text(IDS_STATUS_TOTAL), {std::to_wstring(summary_.processed)}));
  std::wstring counts = FillText(Text(IDS_SUMMARY_COUNTS),
                                 {std::to_wstring(summary_.done), std::to_wstring(summary_.refused),
                                  std::to_wstring(summary_.failed), std::to_wstring(notStarted)});
  if (summary_.cancelled) counts = Text(IDS_SUMMARY_CANCELLED) + L" " + counts;
  SetItemText(IDC_SUMMARY_COUNTS, counts);

  HWND list = Item(IDC_SUMMARY_LIST);
  // The reasons get a third of the width, the paths the rest.
  const int reasonWidth = RemainingListWidth(list, 0) / 3;
  InsertListColumn(list, 0, Text(IDS_COLUMN_FILE), RemainingListWidth(list, reasonWidth));
  InsertListColumn(list, 1, Text(IDS_COLUMN_REASON), reasonWidth);
  ListView_SetExtendedListViewStyle(list, ListView_GetExtendedListViewStyle(list) | LVS_EX_GRIDLINES |
                                              LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
  int row = 0;
  for (const FileResult& file : summary_.files) {
    if (file.outcome == FileOutcome::kDone) continue;
    std::wstring path = file.path, reason = ReasonText(file);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = row++;
    item.pszText = path.data();
    const int at = ListView_InsertItem(list, &item);
    ListView_SetItemText(list, at, 1, reason.data());
  }
  return TRUE;
}

}  // namespace vellumo

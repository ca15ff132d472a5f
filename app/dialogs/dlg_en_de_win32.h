#pragma once
// The file encryption dialog: a list of files and folders, a key, a cipher and
// the packing choice. "开始" hands the list to a worker thread that runs the
// engine over it; the dialog shows how far the run is, can stop it between two
// buffers, and tells what became of every file before it closes.
#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/dialogs/dialog_win32.h"
#include "fileenc/file_engine.h"
#include "keystore/key_store.h"

namespace vellumo {

class CDlgEnDe : public CDialog {
 public:
  CDlgEnDe();
  ~CDlgEnDe() override;

  Direction direction = Direction::kEncrypt;  // set before DoModal
  // Started by the shell (its menu, or a file opened with the program): a run
  // in which every file succeeds may then close the dialog by itself.
  bool fromShell = false;
  CipherAlgorithm algorithm = kAes;  // the selected legacy cipher button
  FileFormat format = FileFormat::kSealed;  // the sealed button, or a legacy one
  BOOL useManualKey = FALSE;
  BOOL pack = FALSE;

  // What the worker tells the dialog, handed over under the lock: the latest
  // progress and file, and at the end the summary.
  struct WorkerReports {
    std::mutex lock;
    RunProgress progress;
    Direction direction = Direction::kEncrypt;
    std::wstring path;        // the file in hand
    bool progressPosted = false;  // a progress message waits in the queue
    RunSummary summary;
  };

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD notifyCode) override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void UpdateData(bool saveAndValidate);
  void ReloadKeys();
  void OnManualKey();
  void OnPlus();

  // The list: the paths themselves live in paths_, in row order; the list
  // view only shows them, so a path is never read back from a control.
  void AddPaths(const std::vector<std::wstring>& paths);
  void RemoveSelected();
  void OnDropFiles(HDROP drop);
  void OnAddFiles(bool folders);
  void OnListMenu(LPARAM position);

  // A run: started once, shown while it goes, stopped on request, summed up.
  void OnStart();
  void RequestCancel();
  void SetRunning(bool running);
  void ShowProgress();
  void OnRunFinished();
  static DWORD WINAPI WorkerThread(LPVOID param);

  KeyStore db_;
  std::vector<std::wstring> paths_;
  bool started_ = false;  // a run has been started; one run per dialog
  bool running_ = false;
  bool cancelling_ = false;
  ULONGLONG runStart_ = 0;
  HANDLE worker_ = nullptr;

  // Taken on the interface thread when the run starts; the worker only reads them.
  RunDescription run_;
  std::vector<std::wstring> runPaths_;
  CancelFlag cancel_{false};
  WorkerReports reports_;
};

}  // namespace vellumo

#pragma once
// The file encryption dialog: a list of files and folders, a key, a cipher and
// the packing choice; "开始" hands the list to a worker thread that runs the
// engine over it and then ends the program.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/dialogs/dialog_win32.h"
#include "fileenc/file_engine.h"
#include "keystore/key_store.h"

namespace vellumo {

class CDlgEnDe : public CDialog {
 public:
  CDlgEnDe();

  Direction direction = Direction::kEncrypt;  // set before DoModal
  CipherAlgorithm algorithm = kAes;          // the selected cipher button
  BOOL useManualKey = FALSE;
  BOOL pack = FALSE;

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnCommand(WORD id, WORD notifyCode) override;
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void UpdateData(bool saveAndValidate);
  void AppendRow(const std::wstring& path);
  void ReloadKeys();
  void OnDropFiles(HDROP drop);
  void OnStart();
  void OnManualKey();
  void OnPlus();
  void OnTimerTick();

  static DWORD WINAPI WorkerThread(LPVOID param);
  bool RunWorker();  // false when the list was empty

  KeyStore db_;
  DWORD uiThreadId_;
  int busyPosition_ = 0;
  bool started_ = false;  // a worker has been started; one run per dialog

  // Taken on the interface thread when the run starts; the worker only reads it.
  RunDescription run_;
};

}  // namespace vellumo

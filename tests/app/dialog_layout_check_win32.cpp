// Lays out every dialog template of Vellumo.exe, in Chinese and in English,
// at the display scale this process starts with, and checks what a user
// would see: every text fits its control (also the texts the program puts
// there while it runs), no two controls overlap, none sticks out of its
// dialog. Writes each fault to REPORT; the exit status is their number.
//   dialog_layout_check VELLUMO_EXE REPORT
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/dialogs/dialog_text.h"
#include "resources/resource.h"
#include "resources/ui_language_win32.h"

namespace {

using vellumo::kChineseUi;
using vellumo::kEnglishUi;

const UINT kTemplates[] = {IDD_ABOUTBOX, IDD_VELLUMO_DIALOG, IDD_KEY_ADD,   IDD_EN_DE,
                           IDD_CLIPBOARD, IDD_KEY_MT,        IDD_RUN_SUMMARY};

// Texts the program puts into a control while it runs, with values as long
// as they come.
struct RunTimeText {
  UINT dialog;
  int control;
  UINT text;
  std::vector<std::wstring> values;
};
const RunTimeText kRunTimeTexts[] = {
    {IDD_EN_DE, IDC_BTN_QUIT, IDS_CANCEL, {}},
    {IDD_EN_DE, IDC_STATUS, IDS_CANCELLING, {}},
    {IDD_EN_DE, IDC_STATUS, IDS_STATUS_TOTAL, {L"1234567"}},
    {IDD_EN_DE, IDC_PROGRESS_TEXT, IDS_PROGRESS_RATE, {L"123456", L"123456", L"1023 MB/s", L"100:00:00"}},
    {IDD_RUN_SUMMARY, IDC_SUMMARY_COUNTS, IDS_SUMMARY_COUNTS, {L"123456", L"123456", L"123456", L"123456"}},
};

INT_PTR CALLBACK Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

struct Control {
  HWND window;
  int id;
  std::wstring className;
  LONG style;
  RECT rect;  // in the dialog's client coordinates
};

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// Room the text takes in the control's font: single line, or wrapped to `wrapWidth`.
SIZE TextExtent(HWND control, const std::wstring& text, int wrapWidth, bool prefix) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  RECT rect = {0, 0, wrapWidth > 0 ? wrapWidth : 100000, 0};
  UINT flags = DT_CALCRECT | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE) | (prefix ? 0 : DT_NOPREFIX);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, flags);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// Whether `text` fits `control` as that kind of control draws it.
bool Fits(const Control& c, const std::wstring& text) {
  if (text.empty()) return true;
  const int width = c.rect.right - c.rect.left, height = c.rect.bottom - c.rect.top;
  const int edge = GetSystemMetrics(SM_CXEDGE);
  if (c.className == L"Static") {
    const SIZE size = TextExtent(c.window, text, width, !(c.style & SS_NOPREFIX));
    return size.cx <= width && size.cy <= height;
  }
  if (c.className == L"Button") {
    const SIZE size = TextExtent(c.window, text, 0, true);
    switch (c.style & BS_TYPEMASK) {
      case BS_GROUPBOX: return size.cx + 4 * edge <= width;
      case BS_AUTOCHECKBOX:
      case BS_CHECKBOX:
      case BS_AUTORADIOBUTTON:
      case BS_RADIOBUTTON: return size.cx + GetSystemMetrics(SM_CXMENUCHECK) + 2 * edge <= width && size.cy <= height;
      default: return size.cx + 4 * edge <= width && size.cy + 2 * edge <= height;
    }
  }
  return true;
}

std::string Narrow(const std::wstring& text) {
  std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(out.size() - 1);
  return out;
}

FILE* report = nullptr;

int CheckDialog(HMODULE vellumo, UINT id, LANGID language) {
  const char* lang = language == kChineseUi ? "zh" : "en";
  HRSRC found = FindResourceExW(vellumo, RT_DIALOG, MAKEINTRESOURCEW(id), language);
  if (found == nullptr) {
    std::fprintf(report, "dialog %u (%s): no template\n", id, lang);
    return 1;
  }
  // A copy, laid out hidden: DLGTEMPLATEEX keeps its style at byte 12.
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(vellumo, found)));
  std::vector<BYTE> copy(bytes, bytes + SizeofResource(vellumo, found));
  DWORD style;
  memcpy(&style, copy.data() + 12, sizeof style);
  style &= ~static_cast<DWORD>(WS_VISIBLE);
  memcpy(copy.data() + 12, &style, sizeof style);
  HWND dialog = CreateDialogIndirectParamW(vellumo, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), nullptr, Quiet, 0);
  if (dialog == nullptr) {
    std::fprintf(report, "dialog %u (%s): cannot be made (%lu)\n", id, lang, GetLastError());
    return 1;
  }
  RECT client;
  GetClientRect(dialog, &client);
  std::vector<Control> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    Control c{child, GetDlgCtrlID(child), ClassOf(child), GetWindowLongW(child, GWL_STYLE), {}};
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
    if (c.style & WS_VISIBLE) controls.push_back(c);
  }

  int faults = 0;
  auto fault = [&](const Control& c, const char* what, const std::wstring& text) {
    std::fprintf(report, "dialog %u (%s), control %d \"%s\": %s\n", id, lang, c.id, Narrow(text).c_str(), what);
    ++faults;
  };
  auto isGroup = [](const Control& c) { return c.className == L"Button" && (c.style & BS_TYPEMASK) == BS_GROUPBOX; };
  for (size_t i = 0; i < controls.size(); ++i) {
    const Control& c = controls[i];
    wchar_t text[512] = {};
    GetWindowTextW(c.window, text, 512);
    if (!Fits(c, text)) fault(c, "its text is cut", text);
    for (const RunTimeText& later : kRunTimeTexts) {
      if (later.dialog != id || later.control != c.id) continue;
      std::wstring shown = vellumo::FillText(vellumo::UiString(vellumo, later.text, language), later.values);
      if (later.text == IDS_SUMMARY_COUNTS)  // after a stop, the summary says so first
        shown = vellumo::UiString(vellumo, IDS_SUMMARY_CANCELLED, language) + L" " + shown;
      if (!Fits(c, shown)) fault(c, "a text it shows while running is cut", shown);
    }
    RECT inside;
    if (!IntersectRect(&inside, &c.rect, &client) || !EqualRect(&inside, &c.rect))
      fault(c, "sticks out of the dialog", text);
    for (size_t j = i + 1; j < controls.size(); ++j) {
      RECT overlap;
      if (!isGroup(c) && !isGroup(controls[j]) && IntersectRect(&overlap, &c.rect, &controls[j].rect))
        fault(c, ("overlaps control " + std::to_string(controls[j].id)).c_str(), text);
    }
  }
  DestroyWindow(dialog);
  return faults;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || (report = _wfopen(argv[2], L"w")) == nullptr) return 100;
  // As Vellumo.exe itself (its manifest): the dialogs drawn at the display's
  // own scale, not enlarged from 100 %.
  SetProcessDPIAware();
  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&common);
  HMODULE vellumo = LoadLibraryExW(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (vellumo == nullptr) {
    std::fprintf(report, "cannot load %s\n", Narrow(argv[1]).c_str());
    std::fclose(report);
    return 100;
  }
  HDC screen = GetDC(nullptr);
  std::fprintf(report, "scale %d dpi\n", GetDeviceCaps(screen, LOGPIXELSX));
  ReleaseDC(nullptr, screen);
  int faults = 0;
  for (LANGID language : {kChineseUi, kEnglishUi})
    for (UINT id : kTemplates) faults += CheckDialog(vellumo, id, language);
  std::fclose(report);
  return faults;
}

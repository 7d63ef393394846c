#include "support/dialog_driver.h"

namespace testing_support {

namespace {

constexpr int FileNameFieldId = 0x47C;  // cmb13: the name field of the explorer-style dialog
constexpr int FileTypeListId = 0x470;   // cmb1: the file-type list

BOOL CALLBACK KeepIfEdit(HWND child, LPARAM found) {
  wchar_t name[32];
  GetClassNameW(child, name, 32);
  if (wcscmp(name, L"Edit") != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

HWND FindEdit(HWND parent) {
  HWND found = nullptr;
  EnumChildWindows(parent, KeepIfEdit, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

}  // namespace

DialogDriver::DialogDriver(std::wstring title, std::wstring answer, std::function<void(HWND)> inspect)
    : title_(std::move(title)), answer_(std::move(answer)), inspect_(std::move(inspect)), thread_([this] { Run(); }) {}

DialogDriver::~DialogDriver() {
  if (thread_.joinable()) thread_.join();
}

const DialogView& DialogDriver::Finish() {
  if (thread_.joinable()) thread_.join();
  return view_;
}

void DialogDriver::Run() {
  HWND dialog = nullptr;
  for (int waited = 0; waited < 30000 && !dialog; waited += 50) {
    HWND candidate = FindWindowW(L"#32770", title_.c_str());
    if (candidate && IsWindowVisible(candidate)) dialog = candidate;
    else Sleep(50);
  }
  if (!dialog) return;
  Sleep(200);  // let the dialog finish filling its fields
  view_.appeared = true;
  HWND nameField = FindEdit(GetDlgItem(dialog, FileNameFieldId));
  if (nameField) view_.proposedName = TextOf(nameField);
  HWND typeList = GetDlgItem(dialog, FileTypeListId);
  view_.selectedFilter = static_cast<int>(SendMessageW(typeList, CB_GETCURSEL, 0, 0));
  view_.filterText = TextOf(typeList);
  if (inspect_) inspect_(dialog);
  if (answer_.empty()) {
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  SendMessageW(nameField, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer_.c_str()));
  PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

}  // namespace testing_support

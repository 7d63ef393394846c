// Window 1: a framed list of bookmarks above a framed row of two buttons. It is
// built hidden and shown only when complete, so the user never sees it assembled.
#include "application.h"

#include <commctrl.h>

#include <iterator>

#include "files/files.h"
#include "gadgets/gadgets.h"
#include "resources/resource_ids.h"
#include "ui/ui.h"

namespace {

constexpr int32_t MainWindowFlags = WindowHidden | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WindowCentreScreen;
constexpr int32_t BookmarkListFlags = ListFullRowSelect | ListAlwaysShowSelection;
constexpr ObjectId ListFont = 2;
constexpr ObjectId ImportImage = 1;
constexpr ObjectId SpareImage = 2;

// Image number from a complete .ico file held in the program's data, read no
// further than the resource's own size.
void ImageFromResource(ObjectId number, int id) {
  HRSRC resource = FindResourceW(ModuleInstance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = resource ? LoadResource(ModuleInstance, resource) : nullptr;
  if (!loaded) return;
  ImageCreate(number, LockResource(loaded), static_cast<int32_t>(SizeofResource(ModuleInstance, resource)));
}

// A tooltip for one control, owned by the window and destroyed with it.
void AddToolTip(HWND window, intptr_t control, const wchar_t* text) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                             ModuleInstance, nullptr);
  if (!tip) return;
  TTTOOLINFOW tool = {};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = static_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(text);
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace

HWND MainWindowBuild() {
  if (!WindowCreate(MainWindow, 65, 76, 750, 600, L"", MainWindowFlags)) return nullptr;
  FrameCreate(ListFrame, 5, 0, 740, 530, L"");
  ListCreate(BookmarkList, 15, 15, 720, 505, BookmarkColumns[0].title, BookmarkColumns[0].width, BookmarkListFlags);
  GadgetSetAccessibleName(BookmarkList, L"Bookmarks");
  for (int32_t column = 1; column < static_cast<int32_t>(std::size(BookmarkColumns)); ++column)
    ListAddColumn(BookmarkList, column, BookmarkColumns[column].title, BookmarkColumns[column].width);
  GadgetSetFont(BookmarkList, reinterpret_cast<HFONT>(FontLoad(ListFont, L"Arial", 11, 0)));
  FrameCreate(ButtonFrame, 5, 530, 740, 65, L"");
  // What a screen reader announces for each control; the spare button has no task.
  const intptr_t import = ImageButtonCreate(ImportButton, 15, 545, 40, 40, ImageHandle(ImportImage));
  GadgetSetAccessibleName(ImportButton, L"Import bookmarks");
  AddToolTip(WindowHandle(MainWindow), import, L"Import bookmarks from a browser's HTML export");
  ImageButtonCreate(SpareButton, 695, 545, 40, 40, ImageHandle(SpareImage));
  GadgetSetAccessibleName(SpareButton, L"Spare button, does nothing");
  WindowShow(MainWindow);
  return WindowHandle(MainWindow);
}

HWND ApplicationOpen() {
  ImageFromResource(ImportImage, ImportIconResource);
  ImageFromResource(SpareImage, SpareIconResource);
  {
    ScratchMark mark;
    FolderCurrent(mark);
    mark.StoreIn(&StartDirectory);
  }
  return MainWindowBuild();
}

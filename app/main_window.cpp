// Window 1: a framed list of bookmarks above a framed row of two buttons. It is
// built hidden and shown only when complete, so the user never sees it assembled.
#include <iterator>

#include "application.h"
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

}  // namespace

HWND MainWindowBuild() {
  if (!WindowCreate(MainWindow, 65, 76, 750, 600, L"", MainWindowFlags)) return nullptr;
  FrameCreate(ListFrame, 5, 0, 740, 530, L"");
  ListCreate(BookmarkList, 15, 15, 720, 505, BookmarkColumns[0].title, BookmarkColumns[0].width, BookmarkListFlags);
  for (int32_t column = 1; column < static_cast<int32_t>(std::size(BookmarkColumns)); ++column)
    ListAddColumn(BookmarkList, column, BookmarkColumns[column].title, BookmarkColumns[column].width);
  GadgetSetFont(BookmarkList, reinterpret_cast<HFONT>(FontLoad(ListFont, L"Arial", 11, 0)));
  FrameCreate(ButtonFrame, 5, 530, 740, 65, L"");
  ImageButtonCreate(ImportButton, 15, 545, 40, 40, ImageHandle(ImportImage));
  ImageButtonCreate(SpareButton, 695, 545, 40, 40, ImageHandle(SpareImage));
  WindowShow(MainWindow, 0);
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

// Window 1: a framed list of bookmarks above a framed row of two buttons. It is
// built hidden and shown only when complete, so the user never sees it assembled.
#include <iterator>

#include "application.h"
#include "gadgets/gadgets.h"
#include "ui/ui.h"

namespace {

constexpr int32_t MainWindowFlags = WindowHidden | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WindowCentreScreen;
constexpr int32_t BookmarkListFlags = ListFullRowSelect | ListAlwaysShowSelection;
constexpr ObjectId ListFont = 2;
constexpr ObjectId ImportImage = 1;
constexpr ObjectId SpareImage = 2;

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

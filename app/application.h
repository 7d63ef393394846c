// The application: the main window, the bookmark import and the clean-up of
// the texts it shows.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/core.h"
#include "strings/strings.h"

// ---- Text clean-up

// The text of a bookmark line as the list shows it: every CR and one leading LF
// removed, seven character references decoded ("&amp;" first, so "&amp;lt;" ends
// as "<"), then spaces trimmed. Produces its result at the caller's mark; the
// argument is copied first, so it may be a result lying at that mark.
void CleanText(const wchar_t* text, int32_t result);

// ---- Main window and import

// Numbers of the main window and its gadgets.
constexpr ObjectId MainWindow = 1;
constexpr ObjectId ListFrame = 1;
constexpr ObjectId BookmarkList = 2;
constexpr ObjectId ButtonFrame = 3;
constexpr ObjectId ImportButton = 4;
constexpr ObjectId SpareButton = 5;

// The list's columns, left to right, and the category every imported row carries.
struct ColumnLayout {
  const wchar_t* title;
  int32_t width;
};
constexpr ColumnLayout BookmarkColumns[] = {
    {L"Bookmark", 200}, {L"Title", 200}, {L"Description", 200}, {L"Category", 100}, {L"Owner", 100},
};
constexpr wchar_t BookmarkCategory[] = L"InterNet BookMark";

// The current directory at start-up, ending in a backslash: where the import's
// dialog opens.
extern String StartDirectory;

// Builds window 1 with its frames, list, columns, font and buttons, then shows it.
// Returns the window's handle, or 0 when the window cannot be created.
HWND MainWindowBuild();
// What the entry point does once the runtime has started: images 1 and 2 from the
// program's icon resources, StartDirectory, then MainWindowBuild, whose handle it
// returns.
HWND ApplicationOpen();

// Asks for an exported bookmark file and appends one row to the list for every
// bookmark line in it; a description line right after a bookmark line fills that
// row's Description. Cancelling or an unreadable file adds nothing.
void BookmarkImport();
// The same for a file already chosen.
void BookmarkImportFile(const wchar_t* path);

// The import command: one dialog, then one pass over the chosen file, line by line.
// A bookmark line holds "<DT>" and "A HREF"; its URL is the first quoted value and
// its title the text left when the tags are removed. A "<DD>" line directly after
// a bookmark line is that bookmark's description.
#include "application.h"
#include "files/files.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "ui/ui.h"

#include <initializer_list>

String StartDirectory;

namespace {

constexpr wchar_t RequesterTitle[] = L"Select exported browser bookmarks file";
constexpr wchar_t RequesterPattern[] = L"HTM (*.htm;*.html)|*.htm;*.html";
constexpr int32_t RequesterPatternPosition = 1;
constexpr wchar_t TagPattern[] = L"\\<[^\\<]+\\>";

// The pattern and the file of one import, freed and closed however the import
// ends, so that the file is not kept locked against the browser that wrote it.
struct ImportResources {
  intptr_t regex = 0;
  intptr_t file = 0;
  ImportResources() = default;
  ImportResources(const ImportResources&) = delete;
  ImportResources& operator=(const ImportResources&) = delete;
  ~ImportResources() {
    if (file) FileClose(file);
    if (regex) RegexFree(regex);
  }
};

// The list neither repaints nor updates its scroll bars while rows are appended;
// it is repainted once when the import ends. Appending to a visible list costs a
// repaint per row otherwise.
class ListRedrawPause {
 public:
  explicit ListRedrawPause(ObjectId list) {
    if (GadgetRecord* gadget = GadgetLookup(list)) window_ = gadget->window;
    if (window_) SendMessageW(window_, WM_SETREDRAW, FALSE, 0);
  }
  ~ListRedrawPause() {
    if (!window_) return;
    SendMessageW(window_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
  }
  ListRedrawPause(const ListRedrawPause&) = delete;
  ListRedrawPause& operator=(const ListRedrawPause&) = delete;

 private:
  HWND window_ = nullptr;
};

// The wait cursor while the import reads its file and adds its rows; the cursor from
// before comes back however the import ends.
class WaitCursor {
 public:
  WaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
  ~WaitCursor() { SetCursor(previous_); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR previous_;
};

// The text of a title or description line: tags removed, spaces trimmed, cleaned.
void LineText(intptr_t regex, const wchar_t* line, int32_t result) {
  RegexReplace(regex, line, L"", result);
  TextTrim(ScratchAddress(result), result);  // the right trim and then the left one, in one pass
  CleanText(ScratchAddress(result), result);
}

// Appends the row of a bookmark, its cells joined by LF; a missing description
// leaves its cell empty.
void AddBookmarkRow(const wchar_t* url, const wchar_t* title, const wchar_t* description, const wchar_t* owner) {
  ScratchMark mark;
  for (const wchar_t* cell : {url, title, description, BookmarkCategory}) {
    AppendText(cell);
    AppendText(L"\n");
  }
  AppendText(owner);
  ListAddRow(BookmarkList, -1, mark.Seal());
}

}  // namespace

void BookmarkImport() {
  StringValue path;
  {
    ScratchMark mark;
    RequestOpenFile(RequesterTitle, StartDirectory, RequesterPattern, RequesterPatternPosition, mark);
    mark.StoreIn(path.Slot());
  }
  if (!CompareText(path.Get(), L"")) BookmarkImportFile(path.Get());
}

void BookmarkImportFile(const wchar_t* path) {
  ImportResources resources;
  resources.regex = RegexCreate(DynamicNumber, TagPattern);
  StringValue owner;
  {
    ScratchMark mark;
    FolderHome(mark);
    TextField(mark.Text(), 3, L"\\", mark);
    mark.StoreIn(owner.Slot());
  }
  resources.file = FileOpenRead(DynamicNumber, path);
  if (!resources.file) return;

  WaitCursor wait;
  ListRedrawPause pause(BookmarkList);
  KeptText line, url, title, description;
  // A bookmark's row waits for the next line, which may be its description, so that
  // every row is added whole: one insertion and its cells, as a plain fill makes it.
  bool rowWaiting = false;
  while (!FileAtEnd(resources.file)) {
    {
      ScratchMark mark;
      FileReadLine(resources.file, mark);
      line.Store(mark);
    }
    const bool bookmarkLine = TextFind(line.Get(), L"<DT>", 1) && TextFind(line.Get(), L"A HREF", 1);
    if (rowWaiting) {
      const bool describes = !bookmarkLine && TextFind(line.Get(), L"<DD>", 1);
      if (describes) {
        ScratchMark mark;
        LineText(resources.regex, line.Get(), mark);
        description.Store(mark);
      }
      AddBookmarkRow(url.Get(), title.Get(), describes ? description.Get() : nullptr, owner.Get());
      rowWaiting = false;
    }
    if (!bookmarkLine) continue;
    {
      ScratchMark mark;
      TextField(line.Get(), 2, L"\"", mark);
      url.Store(mark);
    }
    {
      ScratchMark mark;
      LineText(resources.regex, line.Get(), mark);
      title.Store(mark);
    }
    bool endsInUrl;
    {
      ScratchMark mark;
      TextRight(title.Get(), 4, mark);
      TextLower(mark.Text(), mark);
      endsInUrl = mark.Equals(L".url");
    }
    if (endsInUrl) {
      ScratchMark mark;
      TextLeft(title.Get(), TextLength(title.Get()) - 4, mark);
      title.Store(mark);
    }
    rowWaiting = true;
  }
  if (rowWaiting) AddBookmarkRow(url.Get(), title.Get(), nullptr, owner.Get());
}

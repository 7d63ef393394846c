// Fonts: CreateFontW over a table of numbered records.
#include "gadgets/gadgets.h"

namespace {

struct FontLibrary {
  ObjectTable* table;  // FontRecord per number or identifier (owned)
};

FontLibrary* Fonts;

}  // namespace

bool FontInit() {
  Fonts = static_cast<FontLibrary*>(LibraryStateCreate(sizeof(FontLibrary)));
  if (!Fonts) return false;
  Fonts->table = ObjectTableCreate(sizeof(FontRecord), 16, FontFree);
  return Fonts->table != nullptr;
}

void FontEnd() { ObjectFreeAll(Fonts->table); }

intptr_t FontLoad(ObjectId number, const wchar_t* face, int32_t size, int32_t flags) {
  auto* record = static_cast<FontRecord*>(ObjectAllocate(Fonts->table, number));
  if (!record) return 0;
  const int weight = flags & FontBold ? FW_BOLD : FW_NORMAL;
  const DWORD italic = flags & FontItalic ? TRUE : FALSE;
  const DWORD underline = flags & FontUnderline ? TRUE : FALSE;
  const DWORD strikeOut = flags & FontStrikeOut ? TRUE : FALSE;
  const DWORD quality = flags & FontHighQuality ? PROOF_QUALITY : DEFAULT_QUALITY;

  if (HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr)) {
    // Negative: the platform then matches the character height, not the cell height.
    const int height = -MulDiv(size, GetDeviceCaps(display, LOGPIXELSY), 72);
    record->handle = CreateFontW(height, 0, 0, 0, weight, italic, underline, strikeOut, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH | FF_DONTCARE, face);
    DeleteDC(display);
  }
  return ObjectCreated(Fonts->table, number, record);
}

HFONT FontHandle(ObjectId number) {
  const auto* record = static_cast<const FontRecord*>(ObjectFind(Fonts->table, number));
  return record ? record->handle : nullptr;
}

void FontFree(ObjectId number) {
  HFONT font = FontHandle(number);
  if (!font) return;
  DeleteObject(font);
  ObjectRelease(Fonts->table, number);
}

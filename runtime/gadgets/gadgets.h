// Gadgets and graphics: child controls of runtime windows named by numbers (the
// frame, the list and the image button), and the numbered images and fonts they show.
// Failures are quiet: a creation that fails, or whose number the registry refuses,
// answers 0 and leaves nothing registered; other calls answer 0 or the empty string.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "core/core.h"
#include "ui/ui.h"

// ---- Gadget framework
// A gadget is a child control of a runtime window, named by a number or a dynamic
// identifier. Its record lives in the gadget table from its creation until the
// control receives WM_NCDESTROY (when its window goes, or its number is reused);
// after that every operation on it finds nothing and answers 0, and its pending
// EventGadget events are gone. NotHandled (ui.h) is a slot's "leave it to default".

// The operations of one kind of gadget: one constant table per kind. A null slot
// means the kind has nothing to do there.
struct GadgetClass {
  // A notification the parent received from the control: its result, or NotHandled
  // for default processing.
  LRESULT (*notify)(struct GadgetRecord* gadget, NMHDR* header);
  // Releases what the kind keeps for the gadget; called when the control dies.
  void (*free)(struct GadgetRecord* gadget);
};

struct GadgetRecord {
  HWND window;                     // the control; non-zero exactly while the gadget lives (owned: the table destroys it)
  const GadgetClass* gadgetClass;  // the kind's operations (not owned: one constant table per kind)
  WNDPROC previousProcedure;       // procedure GadgetProcedure forwards to (not owned)
  HANDLE image;                    // image button: the HICON or HBITMAP shown, null for other kinds (not owned)
  HANDLE prepared;                 // image button: AlphaReady copy of an alpha bitmap image, or null (owned)
};

// The identifier a control is created with, which no gadget has, until
// GadgetRegister gives it its own.
inline HMENU const ProvisionalControlId = reinterpret_cast<HMENU>(static_cast<intptr_t>(-1));

// Passed as a font to GadgetSetFont: the stock DEFAULT_GUI_FONT.
inline HFONT const GadgetDefaultFont = reinterpret_cast<HFONT>(static_cast<intptr_t>(-1));

// Table, font, routing registration with the window library, common controls.
bool GadgetInit();
// Nothing to release: gadgets die with their windows, which the window finaliser closes.
void GadgetEnd();

// The first step of every creation, before its control is made: the record under
// number (a live gadget under it is destroyed first) or a new dynamic record; null
// for a refused number or when the heap refuses.
GadgetRecord* GadgetAllocate(ObjectId number);
// The last step: binds record, control and class, installs GadgetProcedure, sets
// the control identifier and "Vela_ID", sends the current font. Returns the
// control for a number, the record's identifier for DynamicNumber; for a control
// that could not be made (null), releases the record and answers 0.
intptr_t GadgetRegister(ObjectId number, GadgetRecord* record, HWND window, const GadgetClass* gadgetClass);
// The live gadget of a number or identifier, or null.
GadgetRecord* GadgetLookup(ObjectId number);
// The live gadget whose control this is, or null: also for a window carrying
// identifier -1, and for a foreign child whose identifier matches a gadget's number.
GadgetRecord* GadgetOfControl(HWND control);
// The runtime window a control lives in: the first ancestor carrying "Vela_WindowID",
// or the topmost one when none does.
HWND GadgetTopWindow(HWND window);
// Number -1: font for gadgets created from now on (0 returned). Otherwise WM_SETFONT
// to that gadget with redraw, returning the message's result; 0 without such a gadget.
LRESULT GadgetSetFont(ObjectId number, HFONT font);
// The name a screen reader announces for the gadget, in place of the one the platform
// takes from its window text; a null name gives that one back. The gadget keeps a
// copy until it dies. Non-zero when done; 0 without such a gadget or when refused.
intptr_t GadgetSetAccessibleName(ObjectId number, const wchar_t* name);
LRESULT CALLBACK GadgetProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Frame
// A group box ("Button") in the current gadget list showing text (null for empty).
// Returns the control for a number, the identifier for DynamicNumber, or 0.
intptr_t FrameCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* text);

// ---- List-icon gadget
// A report-view list of rows with one selection; a row's text is a RowText, its
// cells joined by LF, first column first. Rows and columns count from 0. Every
// operation but ListCreate does nothing and answers 0 for a number that names no live list.

constexpr int32_t ListAlwaysShowSelection = LVS_SHOWSELALWAYS;
constexpr int32_t ListFullRowSelect = 0x40000000;

// Returns the control for a number, the identifier for DynamicNumber, or 0.
intptr_t ListCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* firstTitle,
                    int32_t firstWidth, int32_t flags);
// The new column's index; -1 when the control refuses the column.
intptr_t ListAddColumn(ObjectId number, int32_t position, const wchar_t* title, int32_t width);
// Position -1 appends. The caller's text is never modified.
void ListAddRow(ObjectId number, int32_t position, const wchar_t* rowText);
// The number of rows. The program never asks; the import benchmark checks its rows with it.
intptr_t ListRowCount(ObjectId number);

// ---- Images
// Numbered images made from .BMP or .ICO files held in memory: a DIB section or an
// icon. The image library owns every handle it returns until the image is freed by
// number, replaced under its number, or freed by ImageEnd; callers only borrow it.
// Other data is offered to the registered decoders; none is registered by default,
// so such data gives 0.

struct ImageRecord {
  HANDLE handle;         // HBITMAP (a DIB section) or HICON; non-zero exactly while the image lives (owned)
  uint16_t width;        // pixels, of the bitmap or of the icon's colour bitmap; cut to 16 bits
  uint16_t height;       // pixels, taken and cut the same way
  uint8_t depth;         // bits per pixel of the created bitmap or of the icon's colour bitmap
  uint8_t sourceDepth;   // bits per pixel the file declared (BMP), the icon's depth (ICO), or the decoder's
};

// What a decoder is told about the data. The library cannot hold a decoder to the
// size: each decoder must read nothing at or past data + size itself.
struct ImageDecodingContext {
  const uint8_t* data;  // the image file (not owned)
  int32_t size;         // bytes that may be read from data: the caller's size limit
  int32_t fromMemory;   // 1: data is memory, not a file
  int32_t width;        // announced by the decoder whose probe succeeded; cleared before each probe
  int32_t height;
  int32_t depth;
};

// A decoder of another file format: probe answers non-zero when it recognises the
// data (and announces width, height and depth); decode writes the pixels into a
// DIB section of that format; finish releases what probe and decode took.
struct ImageDecoder {
  int32_t (*probe)(ImageDecodingContext* context);
  void (*decode)(ImageDecodingContext* context, void* pixels, int32_t rowStride, uint32_t flags);
  void (*finish)(ImageDecodingContext* context);
};

constexpr int32_t ImageSizeLimit = 10000000;  // the size ImageFromMemory assumes, not knowing the real one
constexpr int32_t ImageDecoderCapacity = 8;

// Start-up (decoders first, then the table) and shutdown, which frees every live image.
bool ImageDecoderInit();
bool ImageInit();
void ImageEnd();

// Adds a decoder tried after the earlier ones; false when the registry is full.
bool ImageDecoderRegister(const ImageDecoder* decoder);

// An image from a BMP or ICO file in memory: the handle for a number, the record's
// identifier for DynamicNumber, 0 when the data is not recognised or the platform
// object cannot be made (the number then reads as absent). The size limit is the
// caller's word that sizeLimit bytes from data may be read. The readers refuse, as
// unrecognised, a BMP whose info header (biSize bytes), colour table or pixel rows,
// or an ICO whose directory or chosen image, would reach past it; the platform is
// handed nothing beyond those. Other data goes to the decoders with the limit.
intptr_t ImageCreate(ObjectId number, const void* data, int32_t sizeLimit);
// ImageCreate with ImageSizeLimit. It cannot know where the data ends, so a damaged
// header may still send a read past it: use ImageCreate when the size is known.
intptr_t ImageFromMemory(ObjectId number, const void* data);
// The image's HBITMAP or HICON, still owned by the library; 0 when there is no such image.
HANDLE ImageHandle(ObjectId number);
// The live record of a number or identifier, or null.
const ImageRecord* ImageFind(ObjectId number);
// Deletes the bitmap or destroys the icon and forgets the record; nothing for -1 or
// a number without a live image.
void ImageFree(ObjectId number);
// Bytes per DIB row of width pixels at a depth, a multiple of 4 (a depth it does not
// know counts 4 bytes a pixel); 0 for a negative width or a row of 2 GB or more.
int32_t ImageRowStride(int32_t width, int32_t bitsPerPixel);

// ---- Fonts
// Numbered platform fonts from a face name, a size in points and style flags. The
// font library owns every HFONT it returns until the font is freed by number,
// replaced under its number, or freed by FontEnd; a gadget given one only borrows it.

struct FontRecord {
  HFONT handle;  // non-zero exactly while the font lives (owned)
};

constexpr int32_t FontUnderline = 0x4;
constexpr int32_t FontStrikeOut = 0x8;
constexpr int32_t FontHighQuality = 0x10;  // PROOF_QUALITY instead of DEFAULT_QUALITY
constexpr int32_t FontBold = 0x100;
constexpr int32_t FontItalic = 0x200;

bool FontInit();
// Deletes every live font.
void FontEnd();

// A font of size points (a negative height from the display's pixels per logical
// inch, so the character height matches) with the style flags; other flag bits are
// ignored and a null face lets the platform choose. The HFONT for a number, the
// record's identifier for DynamicNumber, 0 on failure (the number then reads as absent).
intptr_t FontLoad(ObjectId number, const wchar_t* face, int32_t size, int32_t flags);
// The font's HFONT, still owned by the library; 0 when there is no such font.
HFONT FontHandle(ObjectId number);
// Deletes the font and forgets the record; nothing for a number without a live font.
void FontFree(ObjectId number);

// ---- Image button
// A push button that shows an image centred over the platform's own drawing. The
// image stays owned by the image library; the button keeps only its prepared
// (premultiplied) copy of an alpha bitmap, which it deletes when it dies. A click
// reaches the program as EventGadget of kind KindClick through the parent's
// default handling of BN_CLICKED.

// Load msimg32 and find AlphaBlend (both may stay missing), and release it again.
bool AlphaInit();
void AlphaEnd();
// True when AlphaBlend exists and image is a 32-bit DIB section, or a 32-bit
// bitmap with a non-zero alpha byte somewhere. Icons never pass.
bool HasAlpha(HANDLE image);
// A 32-bit DIB section copy of the bitmap, premultiplied for AlphaBlend, or greyed
// and lightened for a disabled button; 0 without AlphaBlend. The caller owns it.
HBITMAP AlphaReady(HANDLE image, bool disabled);

// Found at the first creation: the common controls' version as (major << 16) | minor
// (1 when the library has no DllGetVersion, 0 until it could be read), and whether
// visual styles draw the controls. With them every repaint of a button is composed
// off screen, then copied at once.
extern int32_t CommonControlsVersion;
extern int32_t ThemesActive;

// A button in the current gadget list. Returns the control for a number, the
// identifier for DynamicNumber, or 0.
intptr_t ImageButtonCreate(ObjectId number, int x, int y, int width, int height, HANDLE image);

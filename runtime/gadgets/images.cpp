// Images from .BMP and .ICO files in memory.
//
// Input policy: the readers take the few header fields they need and hand the rest
// to the platform unchanged. The one bound they enforce is the caller's size
// limit: everything a reader or the platform call after it reads from the data
// (the BMP's info header, colour table and pixel rows; the icon directory and the
// chosen icon image) must lie before it, or the data is unrecognised. Sizes are
// computed in 64 bits, so no header value can wrap a check around.
#include "gadgets/gadgets.h"

#include <cstring>

namespace {

struct ImageLibrary {
  ObjectTable* table;  // ImageRecord per number or identifier (owned)
};

struct DecoderRegistry {
  int32_t count;                                         // registered decoders
  const ImageDecoder* decoders[ImageDecoderCapacity];    // in registration order (not owned)
  ImageDecodingContext* context;                         // the one decoding context (owned)
};

ImageLibrary* Images;
DecoderRegistry* Decoders;

uint16_t Read16(const uint8_t* at) {
  uint16_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

uint32_t Read32(const uint8_t* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

int32_t ReadSigned32(const uint8_t* at) { return static_cast<int32_t>(Read32(at)); }

bool Fits(int64_t offset, int64_t length, int32_t size) {
  return offset >= 0 && length >= 0 && offset + length <= size;
}

// What a reader made: the handle and the platform's description of its bitmap.
struct Made {
  HANDLE handle;        // the new bitmap or icon
  BITMAP bitmap;        // the bitmap itself, or the icon's colour bitmap
  uint8_t sourceDepth;  // as the file or the decoder declared it
};

void Fill(ImageRecord* record, const Made& made) {
  record->handle = made.handle;
  record->width = static_cast<uint16_t>(made.bitmap.bmWidth);
  record->height = static_cast<uint16_t>(made.bitmap.bmHeight);
  record->depth = static_cast<uint8_t>(made.bitmap.bmBitsPixel);
  record->sourceDepth = made.sourceDepth;
}

HBITMAP CreateSection(int32_t width, int32_t height, int32_t depth, void** bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(depth);
  header.biCompression = BI_RGB;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, bits, nullptr, 0);
  DeleteDC(dc);
  return bitmap;
}

// A 32-bit file whose alpha bytes are all 0 carries no transparency: it was meant
// to be opaque, and drawing it with its zero alpha would show nothing.
void OpaqueWhenAlphaIsEmpty(uint8_t* bits, int32_t width, int32_t rows) {
  const size_t stride = static_cast<size_t>(ImageRowStride(width, 32));
  for (size_t y = 0; y < static_cast<size_t>(rows); ++y)
    for (size_t x = 0; x < static_cast<size_t>(width); ++x)
      if (bits[y * stride + 4 * x + 3]) return;
  for (size_t y = 0; y < static_cast<size_t>(rows); ++y)
    for (size_t x = 0; x < static_cast<size_t>(width); ++x) bits[y * stride + 4 * x + 3] = 255;
}

constexpr int64_t FileHeaderSize = 14;
constexpr int64_t InfoHeaderSize = 40;  // BITMAPINFOHEADER; later versions only add fields

// What SetDIBits reads after the info header: the colour table (biClrUsed entries,
// or the full palette of a depth of 8 or less when that is 0) and, after a plain
// 40-byte header, the three BI_BITFIELDS masks.
int64_t ColourTableBytes(const uint8_t* info) {
  const int64_t infoSize = Read32(info);
  const int32_t depth = Read16(info + 14);
  const uint32_t compression = Read32(info + 16);
  const int64_t used = Read32(info + 32);
  const int64_t entries = used ? used : depth <= 8 ? int64_t{1} << depth : 0;
  const int64_t masks = compression == BI_BITFIELDS && infoSize == InfoHeaderSize ? 3 : 0;
  return 4 * (entries + masks);
}

bool IsRunLength(uint32_t compression) { return compression == BI_RLE8 || compression == BI_RLE4; }

bool FromBmp(const uint8_t* data, int32_t size, Made* made) {
  if (!Fits(0, FileHeaderSize + 4, size)) return false;
  const uint8_t* info = data + FileHeaderSize;
  const int64_t infoSize = Read32(info);
  // A smaller (core) header keeps its fields elsewhere.
  if (infoSize < InfoHeaderSize || !Fits(FileHeaderSize, infoSize, size) ||
      !Fits(FileHeaderSize, infoSize + ColourTableBytes(info), size))
    return false;

  const int64_t pixelOffset = Read32(data + 10);
  const int32_t width = ReadSigned32(info + 4);
  const int32_t height = ReadSigned32(info + 8);
  const int32_t fileDepth = Read16(info + 14);
  const uint32_t compression = Read32(info + 16);
  // A negative height is a top-down file: as many rows, stored the other way round.
  const int64_t rows = height < 0 ? -int64_t{height} : height;
  if (width <= 0 || rows > INT32_MAX) return false;
  if (IsRunLength(compression)) {
    // Run-length rows end where the header's length says; without one nothing bounds them.
    const int64_t encodedBytes = Read32(info + 20);
    if (encodedBytes == 0 || !Fits(pixelOffset, encodedBytes, size)) return false;
  } else {
    // The platform's row length at any depth. Checking it against the size first
    // keeps its product with the rows far inside 64 bits; a depth of 0 has no rows
    // to bound.
    const int64_t stride = (int64_t{width} * fileDepth + 31) / 32 * 4;
    if (stride == 0 || stride > size || !Fits(pixelOffset, stride * rows, size)) return false;
  }

  const int32_t depth = fileDepth < 24 ? 24 : fileDepth;
  void* bits = nullptr;
  HBITMAP bitmap = CreateSection(width, height, depth, &bits);
  if (!bitmap) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  SetDIBits(dc, bitmap, 0, static_cast<UINT>(rows), data + pixelOffset, reinterpret_cast<const BITMAPINFO*>(info),
            DIB_RGB_COLORS);
  DeleteDC(dc);
  if (depth == 32 && bits) OpaqueWhenAlphaIsEmpty(static_cast<uint8_t*>(bits), width, static_cast<int32_t>(rows));
  made->handle = bitmap;
  GetObjectW(bitmap, sizeof made->bitmap, &made->bitmap);
  made->sourceDepth = static_cast<uint8_t>(fileDepth);
  return true;
}

// Entry 0 decides the size; among the entries of that size the deepest wins,
// the earliest on a tie.
const uint8_t* ChooseIconEntry(const uint8_t* entries, int32_t count) {
  const uint8_t* chosen = entries;
  for (int32_t i = 1; i < count; ++i) {
    const uint8_t* entry = entries + 16 * i;
    if (entry[0] == entries[0] && entry[1] == entries[1] && Read16(entry + 6) > Read16(chosen + 6)) chosen = entry;
  }
  return chosen;
}

HICON IconFromImage(const uint8_t* image, uint32_t length) {
  HGLOBAL copy = GlobalAlloc(GMEM_FIXED, length);
  if (!copy) return nullptr;
  auto* bytes = static_cast<BYTE*>(copy);  // GMEM_FIXED: the handle is the address
  std::memcpy(bytes, image, length);
  const int32_t width = ReadSigned32(bytes + 4);
  const int32_t height = ReadSigned32(bytes + 8);
  const int32_t depth = Read16(bytes + 14);
  HICON icon = CreateIconFromResourceEx(bytes, length, TRUE, 0x00030000, width, height / 2, 0);
  if (!icon && depth != 16) icon = CreateIconFromResource(bytes, length, TRUE, 0x00030000);
  GlobalFree(copy);
  return icon;
}

enum class IconResult { NotAnIcon, Made, Failed };

IconResult FromIco(const uint8_t* data, int32_t size, Made* made) {
  if (!Fits(0, 6, size) || Read16(data) != 0 || Read16(data + 2) != 1) return IconResult::NotAnIcon;
  const int32_t count = Read16(data + 4);
  if (count == 0 || !Fits(6, int64_t{16} * count, size)) return IconResult::NotAnIcon;
  const uint8_t* entry = ChooseIconEntry(data + 6, count);
  const uint32_t length = Read32(entry + 8);
  const uint32_t offset = Read32(entry + 12);
  // The image must at least hold the header fields read from it.
  if (length < 16 || !Fits(offset, length, size)) return IconResult::NotAnIcon;
  HICON icon = IconFromImage(data + offset, length);
  if (!icon) return IconResult::NotAnIcon;

  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) {
    DestroyIcon(icon);
    return IconResult::Failed;
  }
  // A monochrome icon has no colour bitmap: its mask holds both halves.
  made->handle = icon;
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof made->bitmap, &made->bitmap);
  if (!info.hbmColor) made->bitmap.bmHeight /= 2;
  made->sourceDepth = static_cast<uint8_t>(made->bitmap.bmBitsPixel);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return IconResult::Made;
}

bool FromDecoders(const uint8_t* data, int32_t size, Made* made) {
  ImageDecodingContext* context = Decoders->context;
  context->data = data;
  context->size = size;
  context->fromMemory = 1;
  for (int32_t i = 0; i < Decoders->count; ++i) {
    const ImageDecoder* decoder = Decoders->decoders[i];
    context->width = context->height = context->depth = 0;
    if (!decoder->probe(context)) continue;
    void* bits = nullptr;
    HBITMAP bitmap = CreateSection(context->width, context->height, context->depth, &bits);
    if (bitmap) decoder->decode(context, bits, ImageRowStride(context->width, context->depth), 2);
    decoder->finish(context);
    if (!bitmap) return false;
    made->handle = bitmap;
    GetObjectW(bitmap, sizeof made->bitmap, &made->bitmap);
    made->sourceDepth = static_cast<uint8_t>(context->depth);
    return true;
  }
  return false;
}

bool Make(const uint8_t* data, int32_t size, Made* made) {
  if (!data) return false;
  if (Fits(0, 2, size) && data[0] == 'B' && data[1] == 'M') return FromBmp(data, size, made);
  switch (FromIco(data, size, made)) {
    case IconResult::Made: return true;
    case IconResult::Failed: return false;
    case IconResult::NotAnIcon: break;
  }
  return FromDecoders(data, size, made);
}

}  // namespace

bool ImageDecoderInit() {
  Decoders = static_cast<DecoderRegistry*>(LibraryStateCreate(sizeof(DecoderRegistry)));
  if (!Decoders) return false;
  Decoders->context = static_cast<ImageDecodingContext*>(RuntimeAllocate(sizeof(ImageDecodingContext)));
  return Decoders->context != nullptr;
}

bool ImageDecoderRegister(const ImageDecoder* decoder) {
  if (Decoders->count == ImageDecoderCapacity) return false;
  Decoders->decoders[Decoders->count++] = decoder;
  return true;
}

bool ImageInit() {
  Images = static_cast<ImageLibrary*>(LibraryStateCreate(sizeof(ImageLibrary)));
  if (!Images) return false;
  Images->table = ObjectTableCreate(sizeof(ImageRecord), 16, ImageFree);
  return Images->table != nullptr;
}

void ImageEnd() { ObjectFreeAll(Images->table); }

intptr_t ImageCreate(ObjectId number, const void* data, int32_t sizeLimit) {
  auto* record = static_cast<ImageRecord*>(ObjectAllocate(Images->table, number));
  if (!record) return 0;
  Made made{};
  if (Make(static_cast<const uint8_t*>(data), sizeLimit, &made)) Fill(record, made);
  return ObjectCreated(Images->table, number, record);
}

intptr_t ImageFromMemory(ObjectId number, const void* data) { return ImageCreate(number, data, ImageSizeLimit); }

const ImageRecord* ImageFind(ObjectId number) {
  return static_cast<const ImageRecord*>(ObjectFind(Images->table, number));
}

HANDLE ImageHandle(ObjectId number) {
  const ImageRecord* record = ImageFind(number);
  return record ? record->handle : nullptr;
}

void ImageFree(ObjectId number) {
  const ImageRecord* record = ImageFind(number);
  if (!record) return;
  if (GetObjectType(record->handle) == OBJ_BITMAP) DeleteObject(record->handle);
  else DestroyIcon(static_cast<HICON>(record->handle));
  ObjectRelease(Images->table, number);
}

// Computed in 64 bits; a width no row can have (negative, or a row past 2 GB) gives 0.
int32_t ImageRowStride(int32_t width, int32_t bitsPerPixel) {
  const int64_t pixels = width;
  int64_t stride;
  switch (bitsPerPixel) {
    case 1: stride = (pixels + 31) / 32 * 4; break;
    case 4: stride = (pixels + 7) / 8 * 4; break;
    case 8: stride = (pixels + 3) / 4 * 4; break;
    case 15:
    case 16: stride = (pixels + 1) / 2 * 4; break;
    case 24: stride = (3 * pixels + 3) / 4 * 4; break;
    default: stride = 4 * pixels;
  }
  return pixels < 0 || stride > INT32_MAX ? 0 : static_cast<int32_t>(stride);
}

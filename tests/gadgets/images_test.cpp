#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gadgets/gadgets.h"
#include "support/test_support.h"

namespace {

class Images : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool started = false;
    if (started) return;
    started = true;
    ImageDecoderInit();
    ImageInit();
  }
};

template <typename T>
void Append(std::string* bytes, T value) {
  bytes->append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string InfoHeader(int32_t width, int32_t height, int bits) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  std::string bytes;
  Append(&bytes, header);
  return bytes;
}

std::string Palette(const std::vector<COLORREF>& colours, size_t entries) {
  std::string bytes;
  for (size_t i = 0; i < entries; ++i) {
    const COLORREF c = i < colours.size() ? colours[i] : 0;
    Append(&bytes, RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0});
  }
  return bytes;
}

// An icon resource image of one colour: 8 bits with a palette, or 32 bits opaque.
std::string IconImage(int size, int bits, COLORREF colour) {
  std::string image = InfoHeader(size, 2 * size, bits);
  if (bits == 8) image += Palette({0, colour}, 256);
  const int stride = ImageRowStride(size, bits);
  for (int y = 0; y < size; ++y) {
    std::string row(stride, '\0');
    for (int x = 0; x < size; ++x) {
      if (bits == 32) {
        const uint8_t pixel[4] = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 255};
        std::memcpy(&row[4 * x], pixel, 4);
      } else {
        row[x] = 1;
      }
    }
    image += row;
  }
  image += std::string(ImageRowStride(size, 1) * size, '\0');  // AND mask: all opaque
  return image;
}

struct Entry {
  int size;
  int bits;
  COLORREF colour;
};

std::string IconFile(const std::vector<Entry>& entries, uint16_t type = 1) {
  std::vector<std::string> images;
  for (const Entry& e : entries) images.push_back(IconImage(e.size, e.bits, e.colour));
  std::string file;
  Append(&file, uint16_t{0});
  Append(&file, type);
  Append(&file, static_cast<uint16_t>(entries.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    Append(&file, static_cast<uint8_t>(entries[i].size));
    Append(&file, static_cast<uint8_t>(entries[i].size));
    Append(&file, uint8_t{0});
    Append(&file, uint8_t{0});
    Append(&file, uint16_t{1});
    Append(&file, static_cast<uint16_t>(entries[i].bits));
    Append(&file, static_cast<uint32_t>(images[i].size()));
    Append(&file, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const std::string& image : images) file += image;
  return file;
}

// A BMP file; rows are given bottom-up (or top-down for a negative height), padded.
std::string BmpFile(int32_t width, int32_t height, int bits, const std::vector<COLORREF>& palette,
                    const std::string& rows) {
  const size_t paletteEntries = bits <= 8 ? size_t{1} << bits : 0;
  std::string info = InfoHeader(width, height, bits) + Palette(palette, paletteEntries);
  std::string file = "BM";
  Append(&file, static_cast<uint32_t>(14 + info.size() + rows.size()));
  Append(&file, uint32_t{0});
  Append(&file, static_cast<uint32_t>(14 + info.size()));
  return file + info + rows;
}

DIBSECTION Section(HANDLE bitmap) {
  DIBSECTION section{};
  EXPECT_EQ(GetObjectW(bitmap, sizeof section, &section), static_cast<int>(sizeof section));
  return section;
}

// Pixel (x, y) counted from the top, as B, G, R (and A for a 32-bit bitmap), read
// through GetDIBits so that the bitmap's own row order does not matter.
std::vector<uint8_t> SectionPixel(HANDLE bitmap, int x, int y) {
  const DIBSECTION s = Section(bitmap);
  BITMAPINFO request{};
  request.bmiHeader.biSize = sizeof request.bmiHeader;
  request.bmiHeader.biWidth = s.dsBm.bmWidth;
  request.bmiHeader.biHeight = -s.dsBm.bmHeight;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  std::vector<uint8_t> pixels(4 * s.dsBm.bmWidth * s.dsBm.bmHeight);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_EQ(GetDIBits(dc, static_cast<HBITMAP>(bitmap), 0, s.dsBm.bmHeight, pixels.data(), &request, DIB_RGB_COLORS),
            s.dsBm.bmHeight);
  DeleteDC(dc);
  const auto at = pixels.begin() + 4 * (y * s.dsBm.bmWidth + x);
  return std::vector<uint8_t>(at, at + (s.dsBm.bmBitsPixel == 32 ? 4 : 3));
}

// The colour an icon shows at (x, y) when drawn over white.
COLORREF IconPixel(HANDLE icon, int x, int y) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP canvas = CreateCompatibleBitmap(screen, 64, 64);
  HGDIOBJ old = SelectObject(dc, canvas);
  RECT all{0, 0, 64, 64};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(dc, 0, 0, static_cast<HICON>(icon), 0, 0, 0, nullptr, DI_NORMAL);
  const COLORREF colour = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteObject(canvas);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return colour;
}

const COLORREF Red = RGB(220, 20, 30);
const COLORREF Blue = RGB(10, 40, 230);

struct ChoiceCase {
  const char* name;
  std::vector<Entry> entries;
  int expectedSize;
  COLORREF expectedColour;
};

TEST_F(Images, IconEntryIsTheFirstEntrysSizeInItsDeepestFormat) {
  const ChoiceCase cases[] = {
      {"single entry", {{32, 32, Red}}, 32, Red},
      {"32-bit entry second", {{32, 8, Red}, {32, 32, Blue}}, 32, Blue},
      {"32-bit entry first", {{32, 32, Blue}, {32, 8, Red}}, 32, Blue},
      {"other sizes never chosen", {{16, 8, Red}, {32, 32, Blue}, {48, 32, Blue}}, 16, Red},
      {"deepest of the first size", {{16, 8, Red}, {32, 32, Red}, {16, 32, Blue}}, 16, Blue},
      {"earliest on equal depth", {{24, 8, Blue}, {24, 8, Red}}, 24, Blue},
  };
  for (const ChoiceCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = IconFile(c.entries);
    const intptr_t result = ImageFromMemory(3, file.data());
    ASSERT_NE(result, 0);
    EXPECT_EQ(reinterpret_cast<HANDLE>(result), ImageHandle(3));
    EXPECT_NE(GetObjectType(ImageHandle(3)), static_cast<DWORD>(OBJ_BITMAP));
    const ImageRecord* record = ImageFind(3);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->width, c.expectedSize);
    EXPECT_EQ(record->height, c.expectedSize);
    EXPECT_EQ(IconPixel(ImageHandle(3), c.expectedSize / 2, c.expectedSize / 2), c.expectedColour);
  }
  ImageFree(3);
}

struct AlphaCase {
  const char* name;
  std::vector<uint8_t> alpha;  // of the four pixels
  std::vector<uint8_t> expected;
};

TEST_F(Images, ThirtyTwoBitBmpIsOpaqueOnlyWhenItCarriesNoAlpha) {
  const AlphaCase cases[] = {
      {"all zero", {0, 0, 0, 0}, {255, 255, 255, 255}},
      {"one non-zero", {0, 0, 1, 0}, {0, 0, 1, 0}},
      {"half transparent", {128, 255, 0, 64}, {128, 255, 0, 64}},
  };
  for (const AlphaCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string rows;
    for (int i = 0; i < 4; ++i) rows += std::string{char(10 * i + 1), char(10 * i + 2), char(10 * i + 3), char(c.alpha[i])};
    const std::string file = BmpFile(2, 2, 32, {}, rows);
    ASSERT_NE(ImageFromMemory(4, file.data()), 0);
    HANDLE bitmap = ImageHandle(4);
    EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(Section(bitmap).dsBmih.biBitCount, 32);
    for (int i = 0; i < 4; ++i) {
      // Rows are stored bottom-up: pixel i is at x = i % 2 of the row i / 2 from the bottom.
      const std::vector<uint8_t> pixel = SectionPixel(bitmap, i % 2, 1 - i / 2);
      EXPECT_EQ(pixel, (std::vector<uint8_t>{uint8_t(10 * i + 1), uint8_t(10 * i + 2), uint8_t(10 * i + 3),
                                             c.expected[i]}))
          << "pixel " << i;
    }
  }
  ImageFree(4);
}

struct DepthCase {
  int bits;
  std::string rows;  // 2 x 2 pixels, bottom row first, each row padded to 4 bytes
};

TEST_F(Images, ShallowBmpBecomesA24BitSectionWithItsColours) {
  // Palette 0 red, 1 blue; pixels bottom row (0, 1), top row (1, 0).
  const std::string pad(3, '\0');
  const DepthCase cases[] = {
      {1, std::string{char(0x40)} + pad + std::string{char(0x80)} + pad},
      {4, std::string{char(0x01)} + pad + std::string{char(0x10)} + pad},
      {8, std::string{char(0), char(1)} + std::string(2, '\0') + std::string{char(1), char(0)} + std::string(2, '\0')},
  };
  for (const DepthCase& c : cases) {
    SCOPED_TRACE(c.bits);
    const std::string file = BmpFile(2, 2, c.bits, {Red, Blue}, c.rows);
    ASSERT_NE(ImageFromMemory(5, file.data()), 0);
    HANDLE bitmap = ImageHandle(5);
    EXPECT_EQ(Section(bitmap).dsBmih.biBitCount, 24);
    const ImageRecord* record = ImageFind(5);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->depth, 24);
    EXPECT_EQ(record->sourceDepth, c.bits);
    EXPECT_EQ(record->width, 2);
    EXPECT_EQ(record->height, 2);
    const std::vector<uint8_t> red{GetBValue(Red), GetGValue(Red), GetRValue(Red)};
    const std::vector<uint8_t> blue{GetBValue(Blue), GetGValue(Blue), GetRValue(Blue)};
    EXPECT_EQ(SectionPixel(bitmap, 0, 1), red);
    EXPECT_EQ(SectionPixel(bitmap, 1, 1), blue);
    EXPECT_EQ(SectionPixel(bitmap, 0, 0), blue);
    EXPECT_EQ(SectionPixel(bitmap, 1, 0), red);
  }
  ImageFree(5);
}

TEST_F(Images, TopDownBmpKeepsItsRowOrder) {
  const std::string rows = std::string{char(0), char(1), 0, 0} + std::string{char(1), char(1), 0, 0};
  const std::string file = BmpFile(2, -2, 8, {Red, Blue}, rows);
  ASSERT_NE(ImageFromMemory(5, file.data()), 0);
  const std::vector<uint8_t> red{GetBValue(Red), GetGValue(Red), GetRValue(Red)};
  const std::vector<uint8_t> blue{GetBValue(Blue), GetGValue(Blue), GetRValue(Blue)};
  EXPECT_EQ(SectionPixel(ImageHandle(5), 0, 0), red);
  EXPECT_EQ(SectionPixel(ImageHandle(5), 1, 0), blue);
  EXPECT_EQ(SectionPixel(ImageHandle(5), 0, 1), blue);
  EXPECT_EQ(ImageFind(5)->height, 2);
  ImageFree(5);
}

TEST_F(Images, UnrecognisedDataGivesZeroAndAnAbsentNumber) {
  std::string cursor = IconFile({{32, 32, Red}}, 2);
  std::string reserved = IconFile({{32, 32, Red}});
  reserved[0] = 1;
  const std::string none = IconFile({});
  const std::string text = "<html>not an image</html>";
  const std::string truncatedIcon = IconFile({{32, 32, Red}}).substr(0, 100);
  const struct {
    const char* name;
    const void* data;
    int32_t size;
  } cases[] = {
      {"no data", nullptr, ImageSizeLimit},
      {"text", text.data(), static_cast<int32_t>(text.size())},
      {"cursor file", cursor.data(), static_cast<int32_t>(cursor.size())},
      {"reserved field set", reserved.data(), static_cast<int32_t>(reserved.size())},
      {"no entries", none.data(), static_cast<int32_t>(none.size())},
      {"image past the data", truncatedIcon.data(), static_cast<int32_t>(truncatedIcon.size())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string good = IconFile({{32, 32, Red}});
    ASSERT_NE(ImageFromMemory(6, good.data()), 0);
    HANDLE previous = ImageHandle(6);
    EXPECT_EQ(ImageCreate(6, c.data, c.size), 0);
    EXPECT_EQ(ImageHandle(6), nullptr);
    EXPECT_EQ(ImageFind(6), nullptr);
    ICONINFO info{};
    EXPECT_FALSE(GetIconInfo(static_cast<HICON>(previous), &info)) << "the replaced icon still exists";
  }
}

TEST_F(Images, BmpPixelsPastTheDataAreRefused) {
  const std::string file = BmpFile(2, 2, 24, {}, std::string(16, '\x7f'));
  EXPECT_NE(ImageCreate(7, file.data(), static_cast<int32_t>(file.size())), 0);
  EXPECT_EQ(ImageCreate(7, file.data(), static_cast<int32_t>(file.size()) - 1), 0);
  EXPECT_EQ(ImageHandle(7), nullptr);
}

TEST_F(Images, BmpHeaderTableAndRowsMustLieWithinTheSize) {
  const std::string masks565("\0\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12);
  const struct {
    const char* name;
    BITMAPINFOHEADER info;
    std::string table;
    bool loads;
  } cases[] = {
      {"8 bits, no palette", {40, 1, 1, 1, 8, BI_RGB, 0, 0, 0, 0, 0}, "", false},
      {"fewer colours than used", {40, 1, 1, 1, 8, BI_RGB, 0, 0, 0, 16, 0}, Palette({Red}, 2), false},
      {"bit fields, no masks", {40, 1, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, "", false},
      {"header past the data", {124, 1, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, "", false},
      {"core header", {12, 1, 1, 1, 24, BI_RGB, 0, 0, 0, 0, 0}, "", false},
      {"two colours used", {40, 1, 1, 1, 8, BI_RGB, 0, 0, 0, 2, 0}, Palette({Red, Blue}, 2), true},
      {"5-6-5 masks", {40, 1, 1, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0}, masks565, true},
  };
  // Each file ends where a no-access page begins, so any read past its size faults.
  auto* const pages = static_cast<char*>(VirtualAlloc(nullptr, 8192, MEM_RESERVE, PAGE_NOACCESS));
  VirtualAlloc(pages, 4096, MEM_COMMIT, PAGE_READWRITE);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file;
    Append(&file, BITMAPFILEHEADER{0x4D42, 0, 0, 0, static_cast<DWORD>(54 + c.table.size())});
    Append(&file, c.info);
    file += c.table + std::string(4, '\1');
    const void* copy = std::memcpy(pages + 4096 - file.size(), file.data(), file.size());
    EXPECT_EQ(c.loads, ImageCreate(10, copy, static_cast<int32_t>(file.size())) != 0);
  }
  ImageFree(10);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST_F(Images, ReusingANumberFreesTheOldImage) {
  const std::string icon = IconFile({{32, 32, Red}});
  const std::string bmp = BmpFile(2, 2, 24, {}, std::string(16, '\x7f'));
  ASSERT_NE(ImageFromMemory(1, icon.data()), 0);
  HANDLE firstIcon = ImageHandle(1);
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(static_cast<HICON>(firstIcon), &info));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  ASSERT_NE(ImageFromMemory(1, icon.data()), 0);
  EXPECT_NE(ImageHandle(1), firstIcon);
  EXPECT_FALSE(GetIconInfo(static_cast<HICON>(firstIcon), &info));

  ASSERT_NE(ImageFromMemory(1, bmp.data()), 0);
  HANDLE bitmap = ImageHandle(1);
  EXPECT_EQ(GetObjectType(bitmap), static_cast<DWORD>(OBJ_BITMAP));
  ASSERT_NE(ImageFromMemory(1, icon.data()), 0);
  EXPECT_EQ(GetObjectType(bitmap), 0u) << "the replaced bitmap still exists";
  ImageFree(1);
  EXPECT_EQ(ImageHandle(1), nullptr);
}

TEST_F(Images, DynamicNumberGivesAnIdentifierThatNamesTheImage) {
  const std::string icon = IconFile({{16, 32, Blue}});
  const intptr_t identifier = ImageFromMemory(DynamicNumber, icon.data());
  ASSERT_NE(identifier, 0);
  const ImageRecord* record = ImageFind(identifier);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(ObjectIdentifierOf(record), identifier);
  HANDLE handle = ImageHandle(identifier);
  EXPECT_NE(reinterpret_cast<intptr_t>(handle), identifier);
  EXPECT_EQ(record->width, 16);
  ImageFree(identifier);
  EXPECT_EQ(ImageHandle(identifier), nullptr);
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(static_cast<HICON>(handle), &info));
  EXPECT_EQ(ImageFromMemory(DynamicNumber, "nothing"), 0);
}

TEST_F(Images, EndFreesEveryImage) {
  const std::string icon = IconFile({{32, 32, Red}});
  const std::string bmp = BmpFile(2, 2, 24, {}, std::string(16, '\x7f'));
  ASSERT_NE(ImageFromMemory(2, icon.data()), 0);
  ASSERT_NE(ImageFromMemory(20, bmp.data()), 0);
  const intptr_t dynamic = ImageFromMemory(DynamicNumber, bmp.data());
  ASSERT_NE(dynamic, 0);
  HANDLE handles[] = {ImageHandle(2), ImageHandle(20), ImageHandle(dynamic)};
  ImageEnd();
  for (ObjectId id : {ObjectId{2}, ObjectId{20}, dynamic}) EXPECT_EQ(ImageHandle(id), nullptr) << id;
  ICONINFO info{};
  EXPECT_FALSE(GetIconInfo(static_cast<HICON>(handles[0]), &info));
  EXPECT_EQ(GetObjectType(handles[1]), 0u);
  EXPECT_EQ(GetObjectType(handles[2]), 0u);
}

TEST_F(Images, RowStrideRoundsEachDepthUpToFourBytes) {
  const struct {
    int32_t width, bits, expected;
  } cases[] = {
      {1, 1, 4},   {32, 1, 4},   {33, 1, 8},  {1, 4, 4},   {8, 4, 4},    {9, 4, 8},   {3, 8, 4},
      {5, 8, 8},   {1, 15, 4},   {3, 16, 8},  {1, 24, 4},  {2, 24, 8},   {4, 24, 12}, {5, 24, 16},
      {3, 32, 12}, {3, 2, 12},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageRowStride(c.width, c.bits), c.expected) << c.width << " x " << c.bits;
}

// A decoder of a made-up format: "FAKE", then one byte of grey for a 3 x 2 image.
int finishes;
int32_t FakeProbe(ImageDecodingContext* context) {
  if (context->width || context->height || context->depth) return 0;  // must start cleared
  if (context->size < 5 || std::memcmp(context->data, "FAKE", 4) != 0) return 0;
  context->width = 3;
  context->height = 2;
  context->depth = 24;
  return 1;
}
void FakeDecode(ImageDecodingContext* context, void* pixels, int32_t stride, uint32_t flags) {
  EXPECT_EQ(flags, 2u);
  for (int y = 0; y < 2; ++y) std::memset(static_cast<uint8_t*>(pixels) + y * stride, context->data[4], 9);
}
void FakeFinish(ImageDecodingContext*) { ++finishes; }
// Recognises nothing, but leaves an announcement behind that the next probe must not see.
int32_t LitteringProbe(ImageDecodingContext* context) {
  context->width = 99;
  return 0;
}
void NoDecode(ImageDecodingContext*, void*, int32_t, uint32_t) {}
void NoFinish(ImageDecodingContext*) {}

TEST_F(Images, OtherDataGoesToTheRegisteredDecodersInOrder) {
  const std::string data = "FAKE\x42";
  EXPECT_EQ(ImageFromMemory(8, data.data()), 0) << "no decoder yet";
  static const ImageDecoder littering{LitteringProbe, NoDecode, NoFinish};
  static const ImageDecoder fake{FakeProbe, FakeDecode, FakeFinish};
  ASSERT_TRUE(ImageDecoderRegister(&littering));
  ASSERT_TRUE(ImageDecoderRegister(&fake));
  finishes = 0;
  ASSERT_NE(ImageFromMemory(8, data.data()), 0);
  EXPECT_EQ(finishes, 1);
  const ImageRecord* record = ImageFind(8);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->width, 3);
  EXPECT_EQ(record->height, 2);
  EXPECT_EQ(record->sourceDepth, 24);
  EXPECT_EQ(SectionPixel(ImageHandle(8), 2, 1), (std::vector<uint8_t>{0x42, 0x42, 0x42}));
  EXPECT_EQ(ImageFromMemory(8, "FAKX\x42"), 0);
}

std::string ReadResource(const char* name) {
  return testing_support::ReadWholeFile(testing_support::Widen(std::string(RESOURCES_DIR) + "/" + name));
}

TEST_F(Images, TheProgramsIconsLoadAs32By32Icons) {
  const struct {
    const char* name;
    size_t fileSize;
    POINT drawn;  // a pixel inside the picture
  } icons[] = {{"import.ico", 4286, {16, 20}}, {"spare.ico", 2238, {24, 24}}};
  for (const auto& icon : icons) {
    SCOPED_TRACE(icon.name);
    const std::string file = ReadResource(icon.name);
    ASSERT_EQ(file.size(), icon.fileSize);
    ASSERT_NE(ImageFromMemory(9, file.data()), 0);
    HANDLE handle = ImageHandle(9);
    EXPECT_NE(GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(ImageFind(9)->width, 32);
    EXPECT_EQ(ImageFind(9)->height, 32);
    // The corners are transparent; the middle is drawn.
    EXPECT_EQ(IconPixel(handle, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(IconPixel(handle, 31, 0), RGB(255, 255, 255));
    EXPECT_NE(IconPixel(handle, icon.drawn.x, icon.drawn.y), RGB(255, 255, 255));
  }
  // Colours: the folder is green where its front flap is, the arrow orange at its head.
  ASSERT_NE(ImageFromMemory(9, ReadResource("import.ico").data()), 0);
  COLORREF flap = IconPixel(ImageHandle(9), 16, 20);
  EXPECT_GT(GetGValue(flap), GetRValue(flap) + 40);
  EXPECT_GT(GetGValue(flap), GetBValue(flap) + 40);
  EXPECT_EQ(ImageFind(9)->depth, 32);
  ASSERT_NE(ImageFromMemory(9, ReadResource("spare.ico").data()), 0);
  COLORREF head = IconPixel(ImageHandle(9), 24, 24);
  EXPECT_GT(GetRValue(head), 200);
  EXPECT_GT(GetGValue(head), 60);
  EXPECT_LT(GetBValue(head), 60);
  ImageFree(9);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>

#include "gadgets/gadgets.h"

namespace {

class Fonts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool started = false;
    if (started) return;
    started = true;
    FontInit();
  }
};

LOGFONTW Describe(HFONT font) {
  LOGFONTW description{};
  EXPECT_EQ(GetObjectW(font, sizeof description, &description), static_cast<int>(sizeof description));
  return description;
}

HFONT AsFont(intptr_t result) { return reinterpret_cast<HFONT>(result); }

int DisplayPixelsPerInch() {
  HDC display = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
  const int pixels = GetDeviceCaps(display, LOGPIXELSY);
  DeleteDC(display);
  return pixels;
}

TEST_F(Fonts, HeightIsMinusThePointSizeInDisplayPixels) {
  const int perInch = DisplayPixelsPerInch();
  ASSERT_GT(perInch, 0);
  for (int32_t size : {1, 6, 8, 11, 12, 13, 72, 100}) {
    HFONT font = AsFont(FontLoad(2, L"Arial", size, 0));
    ASSERT_NE(font, nullptr) << size;
    EXPECT_EQ(Describe(font).lfHeight, -MulDiv(size, perInch, 72)) << size;
    EXPECT_LT(Describe(font).lfHeight, 0) << size;
  }
  // The application's font at the two common densities: 14.67 rounds to 15, 18.33 to 18.
  const LONG applicationHeight = Describe(AsFont(FontLoad(2, L"Arial", 11, 0))).lfHeight;
  if (perInch == 96) {
    EXPECT_EQ(applicationHeight, -15);
  }
  if (perInch == 120) {
    EXPECT_EQ(applicationHeight, -18);
  }
  FontFree(2);
}

struct FlagCase {
  int32_t flags;
  LONG weight;
  BYTE italic, underline, strikeOut, quality;
};

TEST_F(Fonts, StyleFlagsSetTheirOwnFieldOnly) {
  const FlagCase cases[] = {
      {0, FW_NORMAL, 0, 0, 0, DEFAULT_QUALITY},
      {FontBold, FW_BOLD, 0, 0, 0, DEFAULT_QUALITY},
      {FontItalic, FW_NORMAL, 1, 0, 0, DEFAULT_QUALITY},
      {FontBold | FontItalic, FW_BOLD, 1, 0, 0, DEFAULT_QUALITY},
      {FontUnderline, FW_NORMAL, 0, 1, 0, DEFAULT_QUALITY},
      {FontStrikeOut, FW_NORMAL, 0, 0, 1, DEFAULT_QUALITY},
      {FontHighQuality, FW_NORMAL, 0, 0, 0, PROOF_QUALITY},
      {0x1 | 0x2 | 0x20 | 0x40 | 0x80 | 0x400 | 0x10000, FW_NORMAL, 0, 0, 0, DEFAULT_QUALITY},
      {0x31C | 0x1000, FW_BOLD, 1, 1, 1, PROOF_QUALITY},
  };
  for (const FlagCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
    HFONT font = AsFont(FontLoad(3, L"Arial", 11, c.flags));
    ASSERT_NE(font, nullptr);
    const LOGFONTW d = Describe(font);
    EXPECT_EQ(d.lfWeight, c.weight);
    EXPECT_EQ(d.lfItalic, c.italic);
    EXPECT_EQ(d.lfUnderline, c.underline);
    EXPECT_EQ(d.lfStrikeOut, c.strikeOut);
    EXPECT_EQ(d.lfQuality, c.quality);
    EXPECT_EQ(d.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(d.lfOutPrecision, OUT_DEFAULT_PRECIS);
    EXPECT_EQ(d.lfClipPrecision, CLIP_DEFAULT_PRECIS);
    EXPECT_EQ(d.lfPitchAndFamily, DEFAULT_PITCH | FF_DONTCARE);
    EXPECT_EQ(d.lfWidth, 0);
    EXPECT_EQ(d.lfEscapement, 0);
    EXPECT_EQ(std::wstring(d.lfFaceName), L"Arial");
  }
  FontFree(3);
}

TEST_F(Fonts, ReusingANumberDeletesTheOldFont) {
  HFONT first = AsFont(FontLoad(2, L"Arial", 11, 0));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(FontHandle(2), first);
  HFONT second = AsFont(FontLoad(2, L"Arial", 11, FontBold));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetObjectType(first), 0u) << "the first font still exists";
  EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(FontHandle(2), second);
  FontFree(2);
  EXPECT_EQ(GetObjectType(second), 0u);
  EXPECT_EQ(FontHandle(2), nullptr);
  FontFree(2);  // nothing left to free
}

TEST_F(Fonts, DynamicNumberGivesAnIdentifierNotAFont) {
  const intptr_t identifier = FontLoad(DynamicNumber, L"Arial", 11, 0);
  ASSERT_NE(identifier, 0);
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(identifier)), 0u);
  HFONT font = FontHandle(identifier);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  const intptr_t another = FontLoad(DynamicNumber, L"Arial", 12, 0);
  EXPECT_NE(another, identifier);
  FontFree(identifier);
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(FontHandle(identifier), nullptr);
  EXPECT_NE(FontHandle(another), nullptr);
  FontFree(another);
}

TEST_F(Fonts, MissingFaceLetsThePlatformChoose) {
  HFONT font = AsFont(FontLoad(4, nullptr, 11, 0));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(Describe(font).lfFaceName[0], L'\0');
  FontFree(4);
}

TEST_F(Fonts, AControlUsesTheFontWithoutOwningIt) {
  HFONT font = AsFont(FontLoad(2, L"Arial", 11, 0));
  HWND control = CreateWindowExW(0, L"STATIC", L"text", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(control, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), font);
  DestroyWindow(control);
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  FontFree(2);
}

TEST_F(Fonts, EndDeletesEveryFont) {
  HFONT numbered = AsFont(FontLoad(7, L"Arial", 11, 0));
  const intptr_t dynamic = FontLoad(DynamicNumber, L"Arial", 9, FontItalic);
  ASSERT_NE(numbered, nullptr);
  HFONT dynamicFont = FontHandle(dynamic);
  ASSERT_NE(dynamicFont, nullptr);
  FontEnd();
  EXPECT_EQ(GetObjectType(numbered), 0u);
  EXPECT_EQ(GetObjectType(dynamicFont), 0u);
  EXPECT_EQ(FontHandle(7), nullptr);
  EXPECT_EQ(FontHandle(dynamic), nullptr);
}

}  // namespace

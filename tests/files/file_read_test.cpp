#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "files/files.h"
#include "strings/strings.h"
#include "support/test_support.h"

using testing_support::TempFolder;

namespace {

// Serves the folder tests of this executable too.
const auto* const Libraries = testing_support::StartLibraries({StringsInit, FilesInit});

void* RefuseBuffer(size_t) { return nullptr; }

// While it lives, files are opened without a read-ahead buffer.
class Unbuffered {
 public:
  Unbuffered() : saved_(FileBufferAllocate) { FileBufferAllocate = RefuseBuffer; }
  ~Unbuffered() { FileBufferAllocate = saved_; }
  Unbuffered(const Unbuffered&) = delete;
  Unbuffered& operator=(const Unbuffered&) = delete;

 private:
  void* (*saved_)(size_t);
};

enum class Mode { Buffered, Unbuffered };
const Mode BothModes[] = {Mode::Buffered, Mode::Unbuffered};
const char* Name(Mode mode) { return mode == Mode::Buffered ? "buffered" : "unbuffered"; }

// A file opened under DynamicNumber for one scope, closed when it ends.
class OpenFile {
 public:
  explicit OpenFile(const std::wstring& path, Mode mode = Mode::Buffered) {
    if (mode == Mode::Unbuffered) {
      Unbuffered refuse;
      id_ = FileOpenRead(DynamicNumber, path.c_str());
    } else {
      id_ = FileOpenRead(DynamicNumber, path.c_str());
    }
  }
  ~OpenFile() { FileClose(id_); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  intptr_t id() const { return id_; }
  FileRecord* record() const { return static_cast<FileRecord*>(ObjectFind(FileTable, id_)); }

 private:
  intptr_t id_ = 0;
};

std::wstring ReadLine(ObjectId file) {
  ScratchMark mark;
  FileReadLine(file, mark);
  const std::wstring line = mark.Text();
  EXPECT_EQ(ScratchOffset, mark + static_cast<int32_t>(2 * line.size()));
  return line;
}

// Every line up to the end; stops early should the end never come.
std::vector<std::wstring> ReadAll(ObjectId file, size_t limit) {
  std::vector<std::wstring> lines;
  while (!FileAtEnd(file) && lines.size() <= limit) lines.push_back(ReadLine(file));
  return lines;
}

int DynamicCount() {
  int count = 0;
  for (DynamicNode* node = FileTable->newest; node; node = node->older) ++count;
  return count;
}

// Whether another handle could open the file for writing right now.
bool WritableByOthers(const std::wstring& path) {
  HANDLE other = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  CloseHandle(other);
  return true;
}

struct LinesCase {
  const char* name;
  std::string bytes;
  std::vector<std::wstring> lines;
};

const LinesCase LinesCases[] = {
    {"CR CR LF gives an empty line", std::string("a\r\r\nb"), {L"a", L"", L"b"}},
    {"LF endings", std::string("one\ntwo\n"), {L"one", L"two"}},
    {"CR LF endings", std::string("one\r\ntwo\r\n"), {L"one", L"two"}},
    {"lone CR endings", std::string("one\rtwo\r"), {L"one", L"two"}},
    {"mixed endings", std::string("a\r\nb\nc\rd"), {L"a", L"b", L"c", L"d"}},
    {"LF CR is two endings", std::string("a\n\rb"), {L"a", L"", L"b"}},
    {"no final terminator", std::string("first\nlast"), {L"first", L"last"}},
    {"final lone CR", std::string("only\r"), {L"only"}},
    {"empty file", std::string(), {}},
    {"single LF", std::string("\n"), {L""}},
    {"empty lines only", std::string("\r\n\r\n\n"), {L"", L"", L""}},
    {"0 byte ends a line", std::string("ab\0cd\n", 6), {L"ab", L"cd"}},
    {"0 byte before LF", std::string("ab\0\nc", 5), {L"ab", L"", L"c"}},
    {"UTF-16 text breaks at 0 bytes", std::string("a\0b\0", 4), {L"a", L"b"}},
    {"UTF-8 decoded", std::string("caf\xC3\xA9 \xE4\xB9\xA6\xE7\xAD\xBE \xF0\x9F\x98\x80\n"),
     {L"caf\u00e9 \u4e66\u7b7e \U0001F600"}},
    {"invalid UTF-8 becomes U+FFFD", std::string("caf\xE9\nna\xEF\xF6ve\n"), {L"caf\uFFFD", L"na\uFFFD\uFFFDve"}},
    {"sequence cut by the line end", std::string("\xE4\xB9\r\nok\xF0\x9F"), {L"\uFFFD", L"ok\uFFFD"}},
    {"byte-order mark kept", std::string("\xEF\xBB\xBFhead\nx"), {L"\uFEFFhead", L"x"}},
};

TEST(FileRead, LinesInBothModes) {
  TempFolder folder;
  for (const LinesCase& c : LinesCases) {
    const std::wstring path = folder.Write(L"lines.txt", c.bytes);
    for (Mode mode : BothModes) {
      SCOPED_TRACE(std::string(c.name) + ", " + Name(mode));
      OpenFile file(path, mode);
      ASSERT_NE(file.id(), 0);
      EXPECT_EQ(file.record()->buffer == nullptr, mode == Mode::Unbuffered);
      EXPECT_EQ(ReadAll(file.id(), c.lines.size() + 2), c.lines);
    }
  }
}

TEST(FileRead, AtEndConsumesNothing) {
  TempFolder folder;
  const std::wstring path = folder.Write(L"a.txt", "xy\r\nz");
  for (Mode mode : BothModes) {
    SCOPED_TRACE(Name(mode));
    OpenFile file(path, mode);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FileAtEnd(file.id()), 0);
    EXPECT_EQ(ReadLine(file.id()), L"xy");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(FileAtEnd(file.id()), 0);
    EXPECT_EQ(ReadLine(file.id()), L"z");
    EXPECT_NE(FileAtEnd(file.id()), 0);
    EXPECT_EQ(ReadLine(file.id()), L"");
    EXPECT_NE(FileAtEnd(file.id()), 0);
  }
}

// Lines around the buffer's size, with a two-byte character straddling the first
// refill when the line is long enough, and each kind of ending right at the edge.
TEST(FileRead, LongLinesAreDeliveredWhole) {
  TempFolder folder;
  const size_t lengths[] = {4094, 4095, 4096, 4097, 8191, 8192, 8193, 12289, 100000};
  const char* endings[] = {"\r\n", "\n", "\r"};
  for (size_t length : lengths) {
    std::string bytes(length, 'x');
    std::wstring text(length, L'x');
    if (length > 4098) {
      bytes.replace(4095, 2, "\xC3\xA9");
      text.replace(4095, 2, L"\u00e9");
    }
    for (const char* ending : endings) {
      const std::wstring path = folder.Write(L"long.txt", bytes + ending + "next");
      for (Mode mode : BothModes) {
        if (mode == Mode::Unbuffered && length > 20000) continue;
        SCOPED_TRACE(std::to_string(length) + " bytes, " + Name(mode) + ", ending " +
                     std::to_string(std::string(ending).size()));
        OpenFile file(path, mode);
        const std::vector<std::wstring> lines = ReadAll(file.id(), 4);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0].size(), text.size());
        EXPECT_TRUE(lines[0] == text);
        EXPECT_EQ(lines[1], L"next");
      }
    }
  }
}

int LineGrowths;    // allocations the line's block asked for since the count began
int RefusedGrowth;  // the one the heap refuses
bool RefuseOneGrowth() { return ++LineGrowths == RefusedGrowth; }

// A line as long as a bookmark with its icon, read once whole, so that its block
// starts empty, then with one growth refused: the line is cut there, never inside a
// character, still read to its end, and the next line comes whole.
TEST(FileRead, ARefusedGrowthCutsTheLineAtACharacterAndReadsOn) {
  std::string bytes;
  std::wstring text;
  while (bytes.size() < 200000) {
    bytes += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80x";
    text += L"\u00e9\u20ac\U0001F600x";
  }
  TempFolder folder;
  const std::wstring path = folder.Write(L"icons.htm", bytes + "\n" + bytes + "\nnext\n");
  for (Mode mode : BothModes) {
    size_t kept = 0;
    for (int growth : {3, 5, 7}) {
      SCOPED_TRACE(std::string(Name(mode)) + ", growth " + std::to_string(growth) + " refused");
      OpenFile file(path, mode);
      EXPECT_TRUE(ReadLine(file.id()) == text);
      LineGrowths = 0;
      RefusedGrowth = growth;
      RuntimeRefusesAllocation = RefuseOneGrowth;
      const std::wstring line = ReadLine(file.id());
      RuntimeRefusesAllocation = nullptr;
      ASSERT_GE(LineGrowths, growth);
      EXPECT_GT(line.size(), kept) << "a later refusal keeps more of the line";
      EXPECT_LT(line.size(), text.size());
      EXPECT_TRUE(line == text.substr(0, line.size()));
      EXPECT_EQ(ReadLine(file.id()), L"next");
      kept = line.size();
    }
  }
}

// The absolute copy of a path too long to open as given is checked: the bytes right
// after the block asked for carry a pattern that must be intact when it comes back.
constexpr size_t GuardBytes = 16;
int PathCopies;
bool WrittenPastACopy;

void* GuardedCopy(size_t size) {
  auto* block = static_cast<uint8_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof size + size + GuardBytes));
  std::memcpy(block, &size, sizeof size);
  std::memset(block + sizeof size + size, 0xA5, GuardBytes);
  ++PathCopies;
  return block + sizeof size;
}

void FreeGuardedCopy(void* copy) {
  auto* block = static_cast<uint8_t*>(copy) - sizeof(size_t);
  size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  const uint8_t* guard = block + sizeof size + size;
  WrittenPastACopy |= std::any_of(guard, guard + GuardBytes, [](uint8_t byte) { return byte != 0xA5; });
  HeapFree(GetProcessHeap(), 0, block);
}

// Paths around the old limit of 259 characters, and one far past it in every form
// the platform takes: each opens its file, and a copy is made for the long ones.
TEST(FileRead, EveryFormOfALongPathOpensItsFile) {
  TempFolder folder;
  std::wstring deep = folder.path();
  while (deep.size() < 320) {
    deep += L"\\" + std::wstring(30, L'f');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  const std::wstring deepFile = folder.Write(deep.substr(folder.path().size() + 1) + L"\\far.txt", "far\n");
  std::wstring slashed = deepFile;
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  std::vector<std::pair<std::wstring, std::wstring>> rows = {
      {deepFile, L"far"},
      {L"\\\\?\\" + deepFile, L"far"},
      {L"\\\\.\\" + deepFile, L"far"},
      {L"//./" + slashed, L"far"},
      {slashed, L"far"},
      {folder.path() + L"\\x\\..\\" + deepFile.substr(folder.path().size() + 1), L"far"},
  };
  for (size_t length = 258; length <= 262; ++length)
    rows.push_back({folder.Write(std::wstring(length - folder.path().size() - 1, L'n'), "near\n"), L"near"});
  FilePathAllocate = GuardedCopy;
  FilePathFree = FreeGuardedCopy;
  for (const auto& [path, line] : rows) {
    SCOPED_TRACE(testing_support::Narrow(path));
    PathCopies = 0;
    WrittenPastACopy = false;
    OpenFile file(path);
    ASSERT_NE(file.id(), 0);
    EXPECT_EQ(ReadLine(file.id()), line);
    EXPECT_EQ(PathCopies, path.size() >= MAX_PATH && path.compare(0, 4, L"\\\\?\\") != 0 ? 1 : 0);
    EXPECT_FALSE(WrittenPastACopy);
  }
  FilePathAllocate = RuntimeAllocate;
  FilePathFree = RuntimeFree;
}

TEST(FileRead, OpenFailuresRegisterNothing) {
  TempFolder folder;
  const int before = DynamicCount();
  EXPECT_EQ(FileOpenRead(DynamicNumber, (folder.path() + L"\\missing.txt").c_str()), 0);
  EXPECT_EQ(FileOpenRead(DynamicNumber, (folder.path() + L"\\no such folder\\x.txt").c_str()), 0);
  EXPECT_EQ(FileOpenRead(DynamicNumber, folder.path().c_str()), 0);
  EXPECT_EQ(FileOpenRead(DynamicNumber, L""), 0);
  EXPECT_EQ(FileOpenRead(DynamicNumber, nullptr), 0);
  EXPECT_EQ(DynamicCount(), before);

  EXPECT_EQ(FileOpenRead(3, folder.path().c_str()), 0);
  EXPECT_EQ(ObjectFind(FileTable, 3), nullptr);
  EXPECT_NE(FileAtEnd(3), 0);
  EXPECT_EQ(ReadLine(3), L"");
}

// Another open decides by its access and sharing whether ours may read.
TEST(FileRead, FileHeldByAnotherOpen) {
  TempFolder folder;
  const std::wstring path = folder.Write(L"held.txt", "held\n");
  const struct {
    const char* name;
    DWORD access;
    DWORD share;
    bool opens;
  } cases[] = {
      {"read, no sharing", GENERIC_READ, 0, false},
      {"write, no sharing", GENERIC_WRITE, 0, false},
      {"write, sharing everything", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
      {"read, sharing read", GENERIC_READ, FILE_SHARE_READ, true},
      {"read, sharing everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE other = CreateFileW(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const int before = DynamicCount();
    {
      OpenFile file(path);
      EXPECT_EQ(file.id() != 0, c.opens);
      if (file.id()) {
        EXPECT_EQ(ReadLine(file.id()), L"held");
      }
    }
    EXPECT_EQ(DynamicCount(), before);
    CloseHandle(other);
  }
}

TEST(FileRead, OpenFileKeepsWritersOutUntilClosed) {
  TempFolder folder;
  const std::wstring path = folder.Write(L"mine.txt", "mine\n");
  const intptr_t id = FileOpenRead(DynamicNumber, path.c_str());
  ASSERT_NE(id, 0);
  EXPECT_FALSE(WritableByOthers(path));
  HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);
  FileClose(id);
  EXPECT_TRUE(WritableByOthers(path));
  EXPECT_EQ(ObjectFind(FileTable, id), nullptr);
  EXPECT_NE(FileAtEnd(id), 0);
  EXPECT_EQ(ReadLine(id), L"");
  FileClose(id);
}

TEST(FileRead, NumberedFileAnswersItsHandleAndIsReplacedByReuse) {
  TempFolder folder;
  const std::wstring first = folder.Write(L"first.txt", "first\n");
  const std::wstring second = folder.Write(L"second.txt", "second\n");
  const intptr_t handle = FileOpenRead(2, first.c_str());
  ASSERT_NE(handle, 0);
  ASSERT_NE(ObjectFind(FileTable, 2), nullptr);
  EXPECT_EQ(reinterpret_cast<intptr_t>(static_cast<FileRecord*>(ObjectFind(FileTable, 2))->handle), handle);
  EXPECT_FALSE(WritableByOthers(first));

  ASSERT_NE(FileOpenRead(2, second.c_str()), 0);
  EXPECT_TRUE(WritableByOthers(first));
  EXPECT_EQ(ReadAll(2, 3), std::vector<std::wstring>{L"second"});

  // A failed open under the number closes the file that had it.
  EXPECT_EQ(FileOpenRead(2, (folder.path() + L"\\missing").c_str()), 0);
  EXPECT_TRUE(WritableByOthers(second));
  EXPECT_EQ(ObjectFind(FileTable, 2), nullptr);
}

TEST(FileRead, CloseIgnoresDynamicNumberAndUnknownFiles) {
  TempFolder folder;
  const std::wstring path = folder.Write(L"stay.txt", "one\ntwo\n");
  OpenFile file(path);
  EXPECT_EQ(ReadLine(file.id()), L"one");
  FileClose(DynamicNumber);
  FileClose(11);
  FileClose(5000);
  EXPECT_EQ(ReadLine(file.id()), L"two");
  EXPECT_FALSE(WritableByOthers(path));
}

TEST(FileRead, EndClosesEveryFileLeft) {
  TempFolder folder;
  std::vector<std::wstring> paths;
  for (const wchar_t* name : {L"n.txt", L"d1.txt", L"d2.txt"}) paths.push_back(folder.Write(name, "x\n"));
  ASSERT_NE(FileOpenRead(7, paths[0].c_str()), 0);
  const intptr_t first = FileOpenRead(DynamicNumber, paths[1].c_str());
  intptr_t second = 0;
  {
    Unbuffered refuse;
    second = FileOpenRead(DynamicNumber, paths[2].c_str());
  }
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  for (const std::wstring& path : paths) EXPECT_FALSE(WritableByOthers(path));

  FilesEnd();
  for (const std::wstring& path : paths) EXPECT_TRUE(WritableByOthers(path));
  EXPECT_EQ(ObjectFind(FileTable, 7), nullptr);
  EXPECT_EQ(FileTable->newest, nullptr);
  EXPECT_EQ(ReadLine(first), L"");
}

// What a line counter over the raw bytes predicts: LF, CR LF, a lone CR and a 0 byte
// each end a line, and bytes after the last ending make one more.
std::vector<std::string> SplitLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string current;
  bool open = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\r' || c == '\0') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      lines.push_back(current);
      current.clear();
      open = false;
    } else {
      current += c;
      open = true;
    }
  }
  if (open) lines.push_back(current);
  return lines;
}

size_t CountLineEnds(const std::string& bytes) {
  size_t ends = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' || bytes[i] == '\0') ++ends;
    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')) ++ends;
  }
  const char last = bytes.empty() ? '\n' : bytes.back();
  return ends + (last == '\n' || last == '\r' || last == '\0' ? 0 : 1);
}

TEST(FileRead, BrowserExportsReadToTheEnd) {
  REQUIRE_SHARED_BOOKMARKS();
  const std::wstring dir = testing_support::SharedBookmarksDir();
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((dir + L"\\*.htm*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int files = 0;
  do {
    const std::wstring path = dir + L"\\" + entry.cFileName;
    const std::string bytes = testing_support::ReadWholeFile(path);
    const std::vector<std::string> expected = SplitLines(bytes);
    ASSERT_EQ(expected.size(), CountLineEnds(bytes));
    for (Mode mode : BothModes) {
      SCOPED_TRACE(testing_support::Narrow(entry.cFileName) + ", " + Name(mode));
      OpenFile file(path, mode);
      ASSERT_NE(file.id(), 0);
      const std::vector<std::wstring> lines = ReadAll(file.id(), expected.size() + 2);
      ASSERT_EQ(lines.size(), expected.size());
      for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], testing_support::Widen(expected[i])) << "line " << i + 1;
      EXPECT_NE(FileAtEnd(file.id()), 0);
    }
    ++files;
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  EXPECT_GE(files, 10);
}

// Random bytes of what matters to the reader: every ending, 0 bytes, valid, stray,
// impossible and cut UTF-8, letter runs, some stopping 0 to 2 bytes short of a refill edge.
TEST(FileRead, RandomBytesGiveTheLinesOfAnIndependentSplitter) {
  static const std::string Pieces[] = {"\r", "\n", "\r\n", std::string(1, '\0'), "\xC3\xA9", "\xE2\x82\xAC",
                                       "\xF0\x9F\x98\x80", "\x80", "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98",
                                       "\xED\xA0\x80", "\xEF\xBB\xBF"};
  TempFolder folder;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 random(seed);
    std::string bytes;
    for (const size_t size = random() % 20481; bytes.size() < size;) {
      const uint32_t pick = random() % 18;
      const auto letter = static_cast<char>('a' + random() % 26);
      if (pick < 14) {
        bytes += Pieces[pick];
      } else if (pick < 17) {
        bytes.append(1 + random() % 8, letter);
      } else {  // up to an edge one or two buffers on, so that the next piece may straddle it
        const size_t edge = (bytes.size() / FileBufferSize + 1 + random() % 2) * FileBufferSize;
        bytes.resize(std::max(bytes.size(), edge - random() % 3), letter);
      }
    }
    SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(bytes.size()) + " bytes");
    const std::vector<std::string> expected = SplitLines(bytes);
    OpenFile file(folder.Write(L"random.txt", bytes));
    ASSERT_NE(file.id(), 0);
    const std::vector<std::wstring> lines = ReadAll(file.id(), expected.size() + 2);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < lines.size(); ++i) {  // equal lines, or 8 units from where they part
      const std::wstring want = testing_support::Widen(expected[i]);
      const size_t at = std::mismatch(want.begin(), want.end(), lines[i].begin(), lines[i].end()).first - want.begin();
      ASSERT_EQ(lines[i].substr(at, 8), want.substr(at, 8)) << "line " << i + 1 << " from unit " << at;
    }
  }
}

}  // namespace

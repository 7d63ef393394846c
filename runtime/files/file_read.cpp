// Encoding policy: files are read as UTF-8 and lines are handed over as UTF-16. The
// platform conversion without flags turns each invalid byte sequence into U+FFFD. No
// byte-order mark is recognised: one at the start of a file is the character U+FEFF
// at the start of the first line.
#include "files/files.h"

#include "strings/strings.h"

#include <cstring>
#include <cwchar>

ObjectTable* FileTable;
void* (*FileBufferAllocate)(size_t size) = RuntimeAllocate;
void* (*FilePathAllocate)(size_t size) = RuntimeAllocate;
void (*FilePathFree)(void* block) = RuntimeFree;

namespace {

constexpr size_t LineByteLimit = INT32_MAX;  // the most bytes the platform's conversion takes

// Fills the read-ahead buffer with one read of a whole buffer; false when nothing
// came. A failed read counts as the end of the file.
bool Refill(FileRecord* file) {
  DWORD got = 0;
  if (!ReadFile(file->handle, file->buffer, static_cast<DWORD>(file->bufferSize), &got, nullptr)) got = 0;
  file->filled = file->remaining = static_cast<int32_t>(got);
  return got != 0;
}

// Delivers one byte through the read-ahead buffer, or straight from the file when
// the record has none. A failed read counts as the end of the file.
bool ReadByte(FileRecord* file, uint8_t* byte) {
  DWORD got = 0;
  if (!file->buffer) return ReadFile(file->handle, byte, 1, &got, nullptr) && got == 1;
  if (file->remaining == 0 && !Refill(file)) return false;
  *byte = file->buffer[file->filled - file->remaining];
  --file->remaining;
  return true;
}

// Gives back the byte that ReadByte just delivered.
void PutBack(FileRecord* file) {
  if (file->buffer) ++file->remaining;
  else SetFilePointer(file->handle, -1, nullptr, FILE_CURRENT);
}

bool EndsLine(uint8_t byte) { return byte <= '\r' && (byte == '\r' || byte == '\n' || byte == 0); }

// The first byte in [from, end) that ends a line (CR, LF or 0), or end. Eight bytes
// are passed at once while none of them lies below 14; only a word holding such a
// byte (a line end, or a tab) is looked at byte by byte. Every byte of a file
// passes here, and a loop over single bytes makes a whole import a tenth slower.
const uint8_t* LineEnd(const uint8_t* from, const uint8_t* end) {
  constexpr uint64_t Ones = 0x0101010101010101u;
  constexpr uint64_t Highs = 0x8080808080808080u;
  for (; end - from >= 8; from += 8) {
    uint64_t word;
    std::memcpy(&word, from, sizeof word);
    // Non-zero exactly when some byte of the word is below 14.
    if ((word - 14 * Ones) & ~word & Highs) {
      for (int i = 0; i < 8; ++i)
        if (EndsLine(from[i])) return from + i;
    }
  }
  for (; from < end; ++from)
    if (EndsLine(*from)) return from;
  return end;
}

// The bytes of the line being read, kept from one line to the next.
KeptBlock Line;

// Takes a span of the line unless the line is already cut. A span that does not fit
// whole, because the heap refused more room or the line passed what the platform's
// conversion takes, cuts the line: whatever Append took of it stays, nothing after
// it is taken, so the line never comes back with a hole in its middle.
void TakeSpan(KeptBlock* line, const uint8_t* from, size_t count, bool* cut) {
  if (!*cut && line->Append(from, count, LineByteLimit) != count) *cut = true;
}

// The length of a cut line once a character the cut split is left out whole: the
// last lead byte, within the three continuation bytes a character can have after it,
// is dropped with them when fewer follow it than it announces.
size_t CharacterBoundary(const char* bytes, size_t length) {
  size_t lead = length;
  while (lead > 0 && length - lead < 3 && (static_cast<uint8_t>(bytes[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead == 0) return length;
  const auto first = static_cast<uint8_t>(bytes[--lead]);
  const size_t announced = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
  return length - lead < announced ? lead : length;
}

// Consumes the terminator's second byte when a CR is followed by LF; any other
// byte after the CR is given back, and nothing is at the end of the file.
void EndAfterCarriageReturn(FileRecord* file) {
  uint8_t byte = 0;
  if (ReadByte(file, &byte) && byte != '\n') PutBack(file);
}

void ReadLineBytes(FileRecord* file, KeptBlock* line, bool* cut) {
  if (!file->buffer) {
    for (;;) {
      uint8_t byte = 0;
      if (!ReadByte(file, &byte) || byte == 0 || byte == '\n') return;
      if (byte == '\r') return EndAfterCarriageReturn(file);
      TakeSpan(line, &byte, 1, cut);
    }
  }
  // Through the read-ahead buffer a whole span up to the next line end is taken at once.
  for (;;) {
    if (file->remaining == 0 && !Refill(file)) return;
    const uint8_t* from = file->buffer + (file->filled - file->remaining);
    const uint8_t* end = from + file->remaining;
    const uint8_t* stop = LineEnd(from, end);
    TakeSpan(line, from, static_cast<size_t>(stop - from), cut);
    if (stop == end) {
      file->remaining = 0;
      continue;
    }
    file->remaining = static_cast<int32_t>(end - stop - 1);  // the ending byte is consumed too
    if (*stop == '\r') EndAfterCarriageReturn(file);
    return;
  }
}

// Windows opens a path of MAX_PATH characters or more only in its "\\?\" form
// (unless the program declares itself long-path aware, which also needs a system
// setting that few machines have). That form is taken literally, so the path is
// made absolute and normalised first; a shorter path is opened as it is given.
HANDLE OpenForReading(const wchar_t* path) {
  const auto open = [](const wchar_t* name) {
    return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  if (!path || wcslen(path) < MAX_PATH || wcsncmp(path, L"\\\\?\\", 4) == 0) return open(path);
  const DWORD units = GetFullPathNameW(path, 0, nullptr, nullptr);
  // Room before the full path for "\\?\UNC", which replaces a share's first backslash.
  constexpr size_t PrefixRoom = 7;
  auto* buffer = units ? static_cast<wchar_t*>(FilePathAllocate((PrefixRoom + units) * sizeof(wchar_t))) : nullptr;
  if (!buffer) return INVALID_HANDLE_VALUE;
  wchar_t* full = buffer + PrefixRoom;
  const DWORD length = GetFullPathNameW(path, units, full, nullptr);
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (length && length < units) {
    // A device path ("\\.\C:\..."), normalised like any other, names the same file
    // in the literal form; it is no share.
    const bool share = full[0] == L'\\' && full[1] == L'\\';
    const bool device = share && (full[2] == L'.' || full[2] == L'?') && full[3] == L'\\';
    wchar_t* extended = device ? full : share ? full + 1 - PrefixRoom : full - 4;
    if (device) full[2] = L'?';
    else wmemcpy(extended, share ? L"\\\\?\\UNC" : L"\\\\?\\", share ? PrefixRoom : 4);
    handle = open(extended);
  }
  FilePathFree(buffer);
  return handle;
}

}  // namespace

bool FilesInit() {
  FileTable = ObjectTableCreate(sizeof(FileRecord), 16, FileClose);
  return FileTable != nullptr;
}

void FilesEnd() {
  ObjectFreeAll(FileTable);
  Line.Release();
}

intptr_t FileOpenRead(ObjectId number, const wchar_t* path) {
  auto* record = static_cast<FileRecord*>(ObjectAllocate(FileTable, number));
  if (!record) return 0;
  HANDLE handle = OpenForReading(path);
  if (handle != INVALID_HANDLE_VALUE) record->handle = handle;
  const intptr_t answer = ObjectCreated(FileTable, number, record);
  if (!answer) return 0;
  record->buffer = static_cast<uint8_t*>(FileBufferAllocate(FileBufferSize));
  record->bufferSize = FileBufferSize;
  record->remaining = 0;
  record->filled = 0;
  return answer;
}

int32_t FileAtEnd(ObjectId file) {
  auto* record = static_cast<FileRecord*>(ObjectFind(FileTable, file));
  if (!record) return 1;
  uint8_t byte = 0;
  if (!ReadByte(record, &byte)) return 1;
  PutBack(record);
  return 0;
}

void FileReadLine(ObjectId file, int32_t result) {
  bool cut = false;
  if (auto* record = static_cast<FileRecord*>(ObjectFind(FileTable, file))) ReadLineBytes(record, &Line, &cut);
  if (cut) Line.length = CharacterBoundary(Line.bytes, Line.length);
  ScratchFromUtf8(Line.bytes, Line.length, result);
  Line.Finish();
}

void FileClose(ObjectId file) {
  if (file == DynamicNumber) return;
  auto* record = static_cast<FileRecord*>(ObjectFind(FileTable, file));
  if (!record) return;
  RuntimeFree(record->buffer);
  CloseHandle(record->handle);
  ObjectRelease(FileTable, file);
}

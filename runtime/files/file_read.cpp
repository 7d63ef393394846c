// Encoding policy: files are read as UTF-8 and lines are handed over as UTF-16. The
// platform conversion without flags turns each invalid byte sequence into U+FFFD. No
// byte-order mark is recognised: one at the start of a file is the character U+FEFF
// at the start of the first line.
#include "files/files.h"

#include "strings/strings.h"

ObjectTable* FileTable;
void* (*FileBufferAllocate)(size_t size) = RuntimeAllocate;

namespace {

constexpr size_t LineStartSize = 4096;
constexpr size_t LineByteLimit = INT32_MAX;  // the most bytes the platform's conversion takes

// Delivers one byte through the read-ahead buffer, or straight from the file when
// the record has none. A failed read counts as the end of the file.
bool ReadByte(FileRecord* file, uint8_t* byte) {
  DWORD got = 0;
  if (!file->buffer) return ReadFile(file->handle, byte, 1, &got, nullptr) && got == 1;
  if (file->remaining == 0) {
    if (!ReadFile(file->handle, file->buffer, static_cast<DWORD>(file->bufferSize), &got, nullptr)) got = 0;
    file->filled = file->remaining = static_cast<int32_t>(got);
    if (got == 0) return false;
  }
  *byte = file->buffer[file->filled - file->remaining];
  --file->remaining;
  return true;
}

// Gives back the byte that ReadByte just delivered.
void PutBack(FileRecord* file) {
  if (file->buffer) ++file->remaining;
  else SetFilePointer(file->handle, -1, nullptr, FILE_CURRENT);
}

// The bytes of one line, on RuntimeHeap without zeroing since only the bytes added
// are ever read. The room doubles when it is full, so that a line of any length
// costs time linear in its length. Should the heap refuse more room, or the line
// pass what the platform's conversion takes, the rest of the line is dropped rather
// than written out of bounds; the line is still consumed to its end.
class LineBytes {
 public:
  LineBytes() : bytes_(static_cast<char*>(HeapAlloc(RuntimeHeap, 0, LineStartSize))) {
    if (bytes_) capacity_ = LineStartSize;
  }
  ~LineBytes() {
    if (bytes_) HeapFree(RuntimeHeap, 0, bytes_);
  }
  LineBytes(const LineBytes&) = delete;
  LineBytes& operator=(const LineBytes&) = delete;

  void Add(uint8_t byte) {
    if (length_ == capacity_ && !Grow()) return;
    bytes_[length_++] = static_cast<char>(byte);
  }

  const char* Bytes() const { return bytes_; }
  size_t Length() const { return length_; }

 private:
  bool Grow() {
    const size_t grown = GrownCapacity(capacity_, capacity_ + 1, LineByteLimit);
    if (!bytes_ || !grown) return false;
    auto* moved = static_cast<char*>(HeapReAlloc(RuntimeHeap, 0, bytes_, grown));
    if (!moved) return false;
    bytes_ = moved;
    capacity_ = grown;
    return true;
  }

  char* bytes_;          // on RuntimeHeap, owned; only the first length_ bytes are meaningful
  size_t capacity_ = 0;  // bytes allocated
  size_t length_ = 0;    // bytes of the line so far
};

void ReadLineBytes(FileRecord* file, LineBytes* line) {
  for (;;) {
    uint8_t byte = 0;
    if (!ReadByte(file, &byte) || byte == 0 || byte == '\n') return;
    if (byte == '\r') {
      if (ReadByte(file, &byte) && byte != '\n') PutBack(file);
      return;
    }
    line->Add(byte);
  }
}

}  // namespace

void FilesInit() { FileTable = ObjectTableCreate(sizeof(FileRecord), 16, FileClose); }

void FilesEnd() { ObjectFreeAll(FileTable); }

intptr_t FileOpenRead(ObjectId number, const wchar_t* path) {
  auto* record = static_cast<FileRecord*>(ObjectAllocate(FileTable, number));
  if (!record) return 0;
  HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || !handle) {
    if (number == DynamicNumber) ObjectRelease(FileTable, ObjectIdentifierOf(record));
    return 0;
  }
  record->handle = handle;
  record->buffer = static_cast<uint8_t*>(FileBufferAllocate(FileBufferSize));
  record->bufferSize = FileBufferSize;
  record->remaining = 0;
  record->filled = 0;
  return number == DynamicNumber ? ObjectIdentifierOf(record) : reinterpret_cast<intptr_t>(handle);
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
  LineBytes line;
  if (auto* record = static_cast<FileRecord*>(ObjectFind(FileTable, file))) ReadLineBytes(record, &line);
  ScratchFromUtf8(line.Bytes(), line.Length(), result);
}

void FileClose(ObjectId file) {
  if (file == DynamicNumber) return;
  auto* record = static_cast<FileRecord*>(ObjectFind(FileTable, file));
  if (!record) return;
  RuntimeFree(record->buffer);
  CloseHandle(record->handle);
  ObjectRelease(FileTable, file);
}

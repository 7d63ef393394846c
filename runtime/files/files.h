// Files and system folders: files opened as numbered objects and read as UTF-8 text
// lines through a read-ahead buffer; the current and the profile folder.
//
// A file belongs to FileTable from FileOpenRead until FileClose, a new FileOpenRead
// under its number, or FilesEnd. FileOpenRead answers 0 when nothing was opened and
// registers nothing then. Lines and folders are scratch results; failure is empty.
#pragma once

#include "core/core.h"

#include <cstddef>
#include <cstdint>

// One open file. The next byte to deliver lies at buffer + filled - remaining; the
// position in the file is the platform's position minus remaining.
struct FileRecord {
  HANDLE handle;       // from CreateFileW, owned; non-zero while the file is open
  uint8_t* buffer;     // read-ahead bytes on RuntimeHeap, owned; null: byte-by-byte reads
  int32_t bufferSize;  // capacity of buffer in bytes
  int32_t remaining;   // bytes of buffer not yet delivered
  int32_t filled;      // bytes the last refill put into buffer
};

extern ObjectTable* FileTable;  // created by FilesInit, never freed

constexpr int32_t FileBufferSize = 4096;

// Where read-ahead buffers come from (RuntimeAllocate); a test may make it fail to
// reach the byte-by-byte reads that follow a refused buffer.
extern void* (*FileBufferAllocate)(size_t size);
// Where the absolute copy of a path too long to open as given is built and given back
// (RuntimeAllocate, RuntimeFree); a test may check that nothing is written past it.
extern void* (*FilePathAllocate)(size_t size);
extern void (*FilePathFree)(void* block);

bool FilesInit();
// Closes every file still registered, numbered or dynamic.
void FilesEnd();

// Opens an existing file for reading, however long its path; others may read it
// meanwhile but not write, rename or delete it. Returns the new identifier for DynamicNumber, the platform
// handle for a number (a file open under it is closed first), or 0 on failure.
intptr_t FileOpenRead(ObjectId number, const wchar_t* path);
// Non-zero when no byte is left, or when file names no open file; consumes nothing.
int32_t FileAtEnd(ObjectId file);
// Produces the next line, decoded from UTF-8, without its terminator: CR LF, LF, a
// lone CR and a 0 byte each end a line. Empty for a file that is not open. A line
// the heap refuses room for (or longer than the 2 GB the conversion takes) is cut
// where the refusal came, back to the start of a character the cut would split, and
// is still consumed to its end: the next line comes whole.
void FileReadLine(ObjectId file, int32_t result);
// Frees the buffer, closes the handle and forgets the file; does nothing for
// DynamicNumber or a file that is not open.
void FileClose(ObjectId file);

// Produce the folder with a trailing backslash, or the empty string on failure.
void FolderCurrent(int32_t result);
void FolderHome(int32_t result);

// Reading speed of large files: prints the time of each case and checks only what
// was read, never the time. Not part of ctest; run it by hand under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "files/files.h"
#include "strings/strings.h"
#include "support/test_support.h"

namespace {

const auto* const Libraries = testing_support::StartLibraries({StringsInit, FilesInit});

struct Reading {
  size_t lines = 0;
  size_t units = 0;
  double seconds = 0;
};

Reading ReadThrough(const std::wstring& path) {
  Reading reading;
  const auto start = std::chrono::steady_clock::now();
  const intptr_t file = FileOpenRead(DynamicNumber, path.c_str());
  while (file && !FileAtEnd(file)) {
    ScratchMark mark;
    FileReadLine(file, mark);
    reading.units += static_cast<size_t>(ScratchOffset - mark) / 2;
    ++reading.lines;
  }
  FileClose(file);
  reading.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return reading;
}

void Report(const char* name, size_t bytes, const Reading& reading) {
  std::printf("%-32s %9.1f MB %9zu lines %8.3f s %8.1f MB/s\n", name, bytes / 1e6, reading.lines, reading.seconds,
              bytes / 1e6 / reading.seconds);
}

TEST(FilesBenchmark, ManyShortLines) {
  testing_support::TempFolder folder;
  std::string bytes;
  size_t lines = 0;
  while (bytes.size() < 20000000) {
    bytes += "<DT><A HREF=\"https://example.org/" + std::to_string(lines) + "\">Title " + std::to_string(lines) +
             "</A>\r\n";
    ++lines;
  }
  const Reading reading = ReadThrough(folder.Write(L"short.html", bytes));
  Report("20 MB of short lines", bytes.size(), reading);
  EXPECT_EQ(reading.lines, lines);
}

TEST(FilesBenchmark, OneTenMegabyteLine) {
  testing_support::TempFolder folder;
  const std::string bytes(10 * 1024 * 1024, 'x');
  const Reading reading = ReadThrough(folder.Write(L"long.txt", bytes + "\n"));
  Report("one 10 MB line", bytes.size() + 1, reading);
  EXPECT_EQ(reading.lines, 1u);
  EXPECT_EQ(reading.units, bytes.size());
}

TEST(FilesBenchmark, EmptyLinesOnly) {
  testing_support::TempFolder folder;
  const std::string bytes(20000000, '\n');
  const Reading reading = ReadThrough(folder.Write(L"empty.txt", bytes));
  Report("20 MB of empty lines", bytes.size(), reading);
  EXPECT_EQ(reading.lines, bytes.size());
}

}  // namespace

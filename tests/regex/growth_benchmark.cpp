// Growth of two costs with the size of their input: replacing the tags of one long
// line of mark-up, and freeing every dynamic pattern at shutdown. Each is timed at
// 1x, 4x and 16x, median of several runs, beside a floor of the same size measured
// in the same run (decoding the line; creating the patterns). Linear growth shows
// as a constant time per unit. Prints figures only; run it by hand under Wine:
//   growth_benchmark.exe [runs]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "regex/regex.h"
#include "strings/strings.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// One line of mark-up about units long: short tags around longer text, so that
// most of the line is kept and the output grows nearly as fast as the input.
std::wstring MarkedUpLine(size_t units) {
  const std::wstring entry = L"<b>A title that is kept</b> and <i>a description, kept as well</i>; ";
  std::wstring line;
  line.reserve(units + entry.size());
  while (line.size() < units) line += entry;
  return line;
}

void Report(const char* what, size_t size, const char* unit, double floor, double cost) {
  std::printf("%-22s %10zu %-8s floor %8.4f s  cost %8.4f s  %7.2f ns/%s  %6.2f x floor\n", what, size, unit, floor,
              cost, cost * 1e9 / static_cast<double>(size), unit, cost / floor);
}

void ReplacementGrowth(int runs) {
  const intptr_t tags = RegexCreate(DynamicNumber, L"\\<[^\\<]+\\>");
  for (size_t units : {size_t{1} << 20, size_t{4} << 20, size_t{16} << 20}) {
    const std::wstring line = MarkedUpLine(units);
    std::vector<double> floors, costs;
    for (int run = 0; run < runs; ++run) {
      char* bytes = ToUtf8(line.c_str());
      auto start = Clock::now();
      {
        ScratchMark mark;
        Utf8ToScratch(bytes, mark);
      }
      floors.push_back(Seconds(start));
      FreeUtf8(bytes);
      start = Clock::now();
      {
        ScratchMark mark;
        RegexReplace(tags, line.c_str(), L"", mark);
      }
      costs.push_back(Seconds(start));
    }
    Report("RegexReplace", line.size(), "unit", Median(floors), Median(costs));
  }
  RegexFree(tags);
}

void FreeAllGrowth(int runs) {
  for (int count : {2000, 8000, 32000}) {
    std::vector<double> floors, costs;
    for (int run = 0; run < runs; ++run) {
      auto start = Clock::now();
      for (int i = 0; i < count; ++i) RegexCreate(DynamicNumber, L"a+");
      floors.push_back(Seconds(start));
      start = Clock::now();
      RegexEnd();
      costs.push_back(Seconds(start));
    }
    Report("ObjectFreeAll", static_cast<size_t>(count), "pattern", Median(floors), Median(costs));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  StringsInit();
  RegexInit();
  std::printf("median of %d runs\n", runs);
  ReplacementGrowth(runs);
  FreeAllGrowth(runs);
  return 0;
}

// How two costs grow with their input: replacing the tags of one long line, and
// freeing every dynamic pattern. Each at 1x, 4x and 16x, median of several runs,
// beside a floor of the same size from the same run (decoding the line; creating
// the patterns): linear growth shows as a constant time per unit. Prints figures
// only; run by hand under Wine: growth_benchmark.exe [runs]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "regex/regex.h"
#include "strings/strings.h"

namespace {

int Runs = 5;

template <typename Step>
double Seconds(Step step) {
  const auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Medians of floor() and cost(), run in turn.
template <typename Floor, typename Cost>
void Report(const char* what, size_t size, Floor floor, Cost cost) {
  std::vector<double> floors, costs;
  for (int run = 0; run < Runs; ++run) {
    floors.push_back(Seconds(floor));
    costs.push_back(Seconds(cost));
  }
  std::sort(floors.begin(), floors.end());
  std::sort(costs.begin(), costs.end());
  const double f = floors[floors.size() / 2], c = costs[costs.size() / 2];
  std::printf("%-14s %9zu  floor %8.4f s  cost %8.4f s  %8.2f ns each  %6.2f x floor\n", what, size, f, c,
              c * 1e9 / static_cast<double>(size), c / f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) Runs = std::max(1, std::atoi(argv[1]));
  RuntimeHeap = HeapCreate(0, 4096, 0);
  StringsInit();
  RegexInit();
  std::printf("median of %d runs; RegexReplace per UTF-16 unit, ObjectFreeAll per pattern\n", Runs);
  const intptr_t tags = RegexCreate(DynamicNumber, L"\\<[^\\<]+\\>");
  // Short tags around longer text: most of the line is kept, so the output grows with it.
  const std::wstring entry = L"<b>A title that is kept</b> and <i>a description, kept as well</i>; ";
  for (size_t units : {size_t{1} << 20, size_t{4} << 20, size_t{16} << 20}) {
    std::wstring line;
    while (line.size() < units) line += entry;
    char* bytes = ToUtf8(line.c_str());
    Report("RegexReplace", line.size(), [&] { ScratchMark mark; ScratchFromUtf8(bytes, std::strlen(bytes), mark); },
           [&] { ScratchMark mark; RegexReplace(tags, line.c_str(), L"", mark); });
    FreeUtf8(bytes);
  }
  RegexFree(tags);
  for (int count : {2000, 8000, 32000})
    Report("ObjectFreeAll", static_cast<size_t>(count),
           [&] { for (int i = 0; i < count; ++i) RegexCreate(DynamicNumber, L"a+"); }, RegexEnd);
  return 0;
}

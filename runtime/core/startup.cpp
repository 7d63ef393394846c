// The order matters: each library starts after those it allocates from or calls,
// and shutdown runs in the opposite order, so that the windows are destroyed
// (taking their gadgets with them) before the images and fonts those gadgets show
// are freed.
#include "core/startup.h"

#include <cstddef>
#include <iterator>

#include "files/files.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "strings/strings.h"
#include "ui/ui.h"

namespace {

struct Library {
  bool (*start)();  // false when the heap refused the library its state
  void (*end)();    // frees what the library still holds, or null when nothing need be done
};

constexpr Library Libraries[] = {
    {StringsInit, nullptr}, {FilesInit, FilesEnd},     {FontInit, FontEnd},       {ImageDecoderInit, nullptr},
    {ImageInit, ImageEnd},  {AlphaInit, AlphaEnd},     {EventsInit, nullptr},     {WindowsInit, WindowsEnd},
    {GadgetInit, GadgetEnd}, {RegexInit, RegexEnd},    {RequesterInit, nullptr},
};

size_t Started;  // how many of Libraries, from the first, are running

}  // namespace

bool RuntimeStartup() {
  for (Started = 0; Started < std::size(Libraries); ++Started) {
    if (!Libraries[Started].start()) {
      RuntimeShutdown();
      return false;
    }
  }
  return true;
}

void RuntimeShutdown() {
  while (Started > 0)
    if (const auto end = Libraries[--Started].end) end();
}

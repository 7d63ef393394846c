// The orders matter: each library starts after those it allocates from or calls,
// and the windows are destroyed (taking their gadgets with them) before the
// images and fonts those gadgets show are freed.
#include "core/startup.h"

#include "files/files.h"
#include "gadgets/gadgets.h"
#include "regex/regex.h"
#include "strings/strings.h"
#include "ui/ui.h"

namespace {

using Step = void (*)();

constexpr Step StartupSteps[] = {
    StringsInit, FilesInit,  FontInit,  ImageDecoderInit, ImageInit, AlphaInit,
    EventsInit,  WindowsInit, GadgetInit, RegexInit,       RequesterInit,
};

constexpr Step ShutdownSteps[] = {
    RegexEnd, GadgetEnd, WindowsEnd, AlphaEnd, ImageEnd, FontEnd, FilesEnd,
};

}  // namespace

void RuntimeStartup() {
  for (Step step : StartupSteps) step();
}

void RuntimeShutdown() {
  for (Step step : ShutdownSteps) step();
}

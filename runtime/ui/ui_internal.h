// The window procedure and the event queue inside the ui library: the procedure
// assembles events, the event loop reads a window's Tab table. Nothing outside
// runtime/ui includes this header.
#pragma once

#include "ui/ui.h"

// A window's record in the windows table, from WindowCreate to WindowDestroy.
struct WindowRecord {
  HWND window;              // non-zero while the window exists (owned: destroyed by WindowDestroy)
  ACCEL* accelerators;      // the Tab entries the table was made from (owned)
  HACCEL acceleratorTable;  // Tab and Shift+Tab as CommandTabNext / CommandTabPrevious (owned)
  int32_t minimisedOrMaximised;  // 1 while the window is minimised or maximised
  // Window hooks, background brushes, size limits, MDI clients and drop targets
  // would live here; no window of this program uses them.
};

WindowRecord* WindowRecordOf(ObjectId number);  // the live record, or null

// The window procedure's side of an event: the window number of the event being
// assembled, and a code (with gadget number and kind) that EventWait returns as soon
// as the current dispatch is over.
void EventAssembleWindow(ObjectId window);
void EventSetDirect(int32_t code, ObjectId gadget, int32_t kind);

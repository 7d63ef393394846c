// Windows and events: numbered top-level windows with the runtime's window
// procedure, the event queue that turns window messages into events, and the
// open-file dialog. Failures are quiet: a call that cannot do its work answers 0
// (or the empty string), and a creation that fails leaves nothing registered.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/core.h"

// ---- Event queue
// EventWait reports one event per call: first events queued while messages were
// dispatched, then a code the window procedure set directly, else the raw message
// number. The accessors describe the last event reported (0 before the first).
// Window and gadget numbers are ObjectIds: a dynamic object's identifier is an address.

constexpr int32_t EventWindowMoved = 3;
constexpr int32_t EventWindowSized = 5;
constexpr int32_t EventWindowPaint = 15;
constexpr int32_t EventCloseWindow = 16;
constexpr int32_t EventGadget = 13100;
constexpr int32_t EventCommand = 13101;
constexpr int32_t EventWindowActivated = 13104;
constexpr int32_t EventWindowMinimized = 13107;
constexpr int32_t EventWindowMaximized = 13108;
constexpr int32_t EventWindowRestored = 13109;

constexpr int32_t KindClick = 0;
constexpr int32_t KindRightClick = 1;
constexpr int32_t KindDoubleClick = 2;
constexpr int32_t KindRightDoubleClick = 3;
constexpr int32_t KindChange = 768;
constexpr int32_t KindDragStart = 14002;

// The node pool and the empty queue.
bool EventsInit();

// Waits for the next event without limit and returns its code.
int32_t EventWait();
// milliseconds -1 waits forever, 0 only polls; 0 when nothing arrived in time, and
// then the accessors keep describing the previous event.
int32_t EventWaitTimeout(int32_t milliseconds);
ObjectId EventWindowNumber();
ObjectId EventGadgetNumber();
int32_t EventKind();  // -1 after a raw message

// Appends an event unless the newest pending one is identical; an event the heap
// has no node for is dropped.
void EventPush(int32_t code, ObjectId gadget, ObjectId window, int32_t kind);
// Queues EventGadget for a control: its identifier as gadget number, the runtime
// window it lives in as window number.
void GadgetPostEvent(HWND control, int32_t kind);
// Removes every pending EventGadget of a gadget, and every pending event of a window.
void EventDiscardGadget(ObjectId gadget);
void EventDiscardWindow(ObjectId window);

// ---- Windows
// A runtime window carries "Vela_WindowID" = number + 1, its own class
// "WindowClass_<number>" and a Tab accelerator table. It lives from WindowCreate to
// WindowDestroy (or the finaliser); WM_CLOSE only queues EventCloseWindow.

// A message filter's answer that leaves the message to default processing.
constexpr LRESULT NotHandled = static_cast<LRESULT>(0xD0D0D0D1u);

// Flags of the runtime's own, beside the platform's WS_* styles.
constexpr int32_t WindowCentreScreen = 0x1;
constexpr int32_t WindowHidden = 0x10000000;

constexpr WORD CommandTabNext = 64001;
constexpr WORD CommandTabPrevious = 64002;

// Table of windows, event state, class icon and cursor.
bool WindowsInit();
// Destroys every window still open: numbers ascending, then dynamic ones oldest first.
void WindowsEnd();

// width and height are the client size; title may be null; flags are WS_* styles and
// the runtime's flags above. The new window becomes the current gadget list. Returns
// the window for a number, the new identifier for DynamicNumber, 0 on failure or for
// a number the registry refuses. A window the heap cannot complete (its Tab entries)
// is destroyed unseen and its number released.
intptr_t WindowCreate(ObjectId number, int x, int y, int width, int height, const wchar_t* title, int32_t flags);
// Shows the window in its normal state: ShowWindow's result, 0 without such a window.
BOOL WindowShow(ObjectId number);
HWND WindowHandle(ObjectId number);  // 0 without such a window
// Non-zero when the window existed; its class, Tab table and pending events go too.
int32_t WindowDestroy(ObjectId number);
// The window in which new gadgets are created: the newest runtime window still
// open, null before the first or once that one is gone.
HWND GadgetListCurrent();
// Moves the focus inside the active window; backward non-zero for Shift+Tab.
void TabNavigate(int32_t backward);
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The number of the runtime window a window belongs to (the window itself or its
// first ancestor that is one), -1 when there is none.
ObjectId WindowNumberOf(HWND window);

// Where the window library meets the gadget library above it: GadgetInit hands
// down its routing of notifications, so this library never needs the gadget
// header. Until then no notification is routed. The route answers the gadget's
// result, or NotHandled for a control that is no gadget or leaves the message.
using GadgetRoute = LRESULT (*)(NMHDR* header);
void WindowsAttachGadgets(GadgetRoute route);

// ---- File requester

// Initialises COM before the first dialog (the gadget library registers the
// common-control classes it uses).
bool RequesterInit();

// Shows the modal open-file dialog and leaves the chosen full path (of any length
// the platform allows) at result, or the empty string when the user cancels or the dialog
// fails; when a buffer cannot be had, the empty string without a dialog. patterns
// is "description|filter|description|filter..."; position picks the pair to
// preselect, counting from 0. defaultPath's part before its last backslash is the
// starting folder, the part after it the proposed name (dropped when it is not a
// valid file name). Every other visible window of the thread is disabled while the
// dialog runs.
void RequestOpenFile(const wchar_t* title, const wchar_t* defaultPath, const wchar_t* patterns, int32_t position,
                     int32_t result);

// The dialog's 1-based filter index after the last successful choice, 0 otherwise.
int32_t RequesterSelectedPattern();

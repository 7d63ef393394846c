// The event queue and EventWait. Events reach the program by three roads, in this
// order: events queued while earlier messages were dispatched, a code the window
// procedure set directly during the current dispatch, and the raw message number.
// Queue nodes come from a block pool, so the steady state makes no heap call.
#include "ui/ui_internal.h"

namespace {

struct QueuedEvent {
  QueuedEvent* next;  // towards the newest pending event
  int32_t code;
  int32_t kind;
  ObjectId gadget;
  ObjectId window;
};

struct EventQueue {
  BlockPool* pool;    // the nodes (owned, never freed: it ends with the process)
  QueuedEvent* head;  // oldest pending event, or null
  QueuedEvent* tail;  // newest pending event, or null
};

// The event being assembled during a dispatch, and the copy the accessors read.
// Drop data would be kept here too; no window of this program accepts drops.
struct EventState {
  ObjectId gadget;
  ObjectId window;
  int32_t kind;
  int32_t code;  // direct code set by the window procedure, 0 when none
  ObjectId lastGadget;
  ObjectId lastWindow;
  int32_t lastKind;
};

EventQueue* Queue;
EventState* State;

bool CreatePool(void* block) {
  auto* queue = static_cast<EventQueue*>(block);
  queue->pool = BlockPoolCreate(sizeof(QueuedEvent), 16, 256);
  // Taken and never given back, so that the first chunk exists from the start.
  return queue->pool && BlockTake(queue->pool);
}

// The Tab table of the active runtime window; no control of this program wants
// Tab for itself.
HACCEL AcceleratorsFor(HWND active) {
  if (!active) return nullptr;
  WindowRecord* record = WindowRecordOf(WindowNumberOf(active));
  return record && record->window == active ? record->acceleratorTable : nullptr;
}

int32_t Publish(int32_t result) {
  State->lastGadget = State->gadget;
  State->lastWindow = State->window;
  State->lastKind = State->kind;
  return result;
}

bool FetchMessage(int32_t milliseconds, MSG* message) {
  if (milliseconds == -1) {
    GetMessageW(message, nullptr, 0, 0);
    return true;
  }
  if (PeekMessageW(message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD)) return true;
  if (milliseconds == 0) return false;
  if (MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(milliseconds), QS_ALLINPUT) == WAIT_TIMEOUT)
    return false;
  return PeekMessageW(message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD) != 0;
}

void Unlink(QueuedEvent* previous, QueuedEvent* node) {
  if (previous)
    previous->next = node->next;
  else
    Queue->head = node->next;
  if (Queue->tail == node) Queue->tail = previous;
  BlockGive(Queue->pool, node);
}

template <typename Matches>
void DiscardWhere(Matches matches) {
  QueuedEvent* previous = nullptr;
  for (QueuedEvent* node = Queue->head; node;) {
    QueuedEvent* next = node->next;
    if (matches(*node))
      Unlink(previous, node);
    else
      previous = node;
    node = next;
  }
}

}  // namespace

bool EventsInit() {
  Queue = static_cast<EventQueue*>(LibraryStateCreate(sizeof(EventQueue), CreatePool));
  State = static_cast<EventState*>(LibraryStateCreate(sizeof(EventState)));
  return Queue && State;
}

int32_t EventWaitTimeout(int32_t milliseconds) {
  State->kind = -1;
  State->code = 0;

  if (QueuedEvent* node = Queue->head) {
    State->gadget = node->gadget;
    State->window = node->window;
    State->kind = node->kind;
    int32_t code = node->code;
    Unlink(nullptr, node);
    return Publish(code);
  }

  MSG message;
  if (!FetchMessage(milliseconds, &message)) return 0;

  HWND active = GetActiveWindow();
  HACCEL accelerators = AcceleratorsFor(active);
  if (!accelerators || !TranslateAcceleratorW(active, accelerators, &message)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  if (int32_t code = State->code) {
    State->code = 0;
    return Publish(code);
  }
  return Publish(static_cast<int32_t>(message.message));
}

int32_t EventWait() { return EventWaitTimeout(-1); }

ObjectId EventWindowNumber() { return State->lastWindow; }
ObjectId EventGadgetNumber() { return State->lastGadget; }
int32_t EventKind() { return State->lastKind; }

void EventPush(int32_t code, ObjectId gadget, ObjectId window, int32_t kind) {
  QueuedEvent* tail = Queue->tail;
  if (tail && tail->code == code && tail->gadget == gadget && tail->window == window && tail->kind == kind) return;
  auto* node = static_cast<QueuedEvent*>(BlockTake(Queue->pool));
  if (!node) return;  // the event is lost, as it would be to a full queue
  *node = QueuedEvent{nullptr, code, kind, gadget, window};
  if (tail)
    tail->next = node;
  else
    Queue->head = node;
  Queue->tail = node;
}

void GadgetPostEvent(HWND control, int32_t kind) {
  EventPush(EventGadget, GetWindowLongPtrW(control, GWLP_ID), WindowNumberOf(control), kind);
}

void EventDiscardGadget(ObjectId gadget) {
  DiscardWhere([=](const QueuedEvent& event) { return event.code == EventGadget && event.gadget == gadget; });
}

void EventDiscardWindow(ObjectId window) {
  DiscardWhere([=](const QueuedEvent& event) { return event.window == window; });
}

void EventAssembleWindow(ObjectId window) { State->window = window; }

void EventSetDirect(int32_t code, ObjectId gadget, int32_t kind) {
  State->code = code;
  State->gadget = gadget;
  State->kind = kind;
}

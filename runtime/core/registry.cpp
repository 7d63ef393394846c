// Object tables: numbered records in a slot array, dynamic records in a list.
#include "core/core.h"

#include <cstring>

HANDLE RuntimeHeap;
HINSTANCE ModuleInstance;

void* RuntimeAllocate(size_t size) { return HeapAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, size); }

void* RuntimeReallocate(void* block, size_t size) {
  if (!block) return RuntimeAllocate(size);
  return HeapReAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, block, size);
}

void RuntimeFree(void* block) {
  if (block) HeapFree(RuntimeHeap, 0, block);
}

void* LibraryStateCreate(size_t size, void (*initialise)(void* state)) {
  void* state = RuntimeAllocate(size);
  if (initialise) initialise(state);
  return state;
}

namespace {

void* RecordOf(DynamicNode* node) { return node + 1; }

bool IsAbsent(const void* record) { return *static_cast<void* const*>(record) == nullptr; }

bool IsSlotNumber(const ObjectTable* table, ObjectId value) {
  return value >= 0 && value < table->slotCount;
}

// The node whose record has this address, found by walking the list, so that a
// value naming no live dynamic object is never dereferenced.
DynamicNode* FindNode(const ObjectTable* table, ObjectId value) {
  for (DynamicNode* node = table->newest; node; node = node->older)
    if (ObjectIdentifierOf(RecordOf(node)) == value) return node;
  return nullptr;
}

}  // namespace

ObjectTable* ObjectTableCreate(int32_t elementSize, int32_t growthStep, FreeOperation freeObject) {
  auto* table = static_cast<ObjectTable*>(RuntimeAllocate(sizeof(ObjectTable)));
  table->elementSize = elementSize;
  table->growthStep = growthStep;
  table->slotCount = growthStep;
  table->slots = static_cast<void**>(RuntimeAllocate(sizeof(void*) * growthStep));
  table->freeObject = freeObject;
  return table;
}

void* ObjectAllocate(ObjectTable* table, ObjectId number) {
  if (number == DynamicNumber) {
    auto* node = static_cast<DynamicNode*>(RuntimeAllocate(sizeof(DynamicNode) + table->elementSize));
    node->older = table->newest;
    if (table->newest) table->newest->newer = node;
    table->newest = node;
    return RecordOf(node);
  }
  if (number >= table->slotCount) {
    const auto count = static_cast<int32_t>(number + table->growthStep);
    table->slots = static_cast<void**>(RuntimeReallocate(table->slots, sizeof(void*) * count));
    table->slotCount = count;
  }
  if (void* record = table->slots[number]) {
    if (table->freeObject) table->freeObject(number);
    return record;
  }
  table->slots[number] = RuntimeAllocate(table->elementSize);
  return table->slots[number];
}

void* ObjectFind(ObjectTable* table, ObjectId value) {
  void* record = nullptr;
  if (IsSlotNumber(table, value)) {
    record = table->slots[value];
  } else if (DynamicNode* node = FindNode(table, value)) {
    record = RecordOf(node);
  }
  return record && !IsAbsent(record) ? record : nullptr;
}

void* ObjectFindByHandle(ObjectTable* table, const void* handle, ObjectId* value) {
  if (!handle) return nullptr;
  for (int32_t number = 0; number < table->slotCount; ++number) {
    void* record = table->slots[number];
    if (record && *static_cast<void**>(record) == handle) {
      *value = number;
      return record;
    }
  }
  for (DynamicNode* node = table->newest; node; node = node->older) {
    if (*static_cast<void**>(RecordOf(node)) == handle) {
      *value = ObjectIdentifierOf(RecordOf(node));
      return RecordOf(node);
    }
  }
  return nullptr;
}

void ObjectRelease(ObjectTable* table, ObjectId value) {
  if (IsSlotNumber(table, value)) {
    if (void* record = table->slots[value]) std::memset(record, 0, table->elementSize);
    return;
  }
  DynamicNode* node = FindNode(table, value);
  if (!node) return;
  if (node->newer) node->newer->older = node->older;
  else table->newest = node->older;
  if (node->older) node->older->newer = node->newer;
  if (table->iterationNode == node) table->iterationNode = node->newer;
  RuntimeFree(node);
}

void ObjectIterateBegin(ObjectTable* table) {
  table->iterationSlot = 0;
  DynamicNode* oldest = table->newest;
  while (oldest && oldest->older) oldest = oldest->older;
  table->iterationNode = oldest;
}

void* ObjectIterateNext(ObjectTable* table, ObjectId* value) {
  while (table->iterationSlot < table->slotCount) {
    const int32_t number = table->iterationSlot++;
    void* record = table->slots[number];
    if (record && !IsAbsent(record)) {
      *value = number;
      return record;
    }
  }
  if (DynamicNode* node = table->iterationNode) {
    table->iterationNode = node->newer;
    *value = ObjectIdentifierOf(RecordOf(node));
    return RecordOf(node);
  }
  return nullptr;
}

void ObjectFreeAll(ObjectTable* table) {
  if (!table->freeObject) return;
  ObjectIterateBegin(table);
  ObjectId value;
  while (ObjectIterateNext(table, &value)) table->freeObject(value);
}

// Object tables: numbered records in a slot array, dynamic records in a list in
// creation order and in hash buckets by identifier.
#include "core/core.h"

#include <algorithm>
#include <cstring>

HANDLE RuntimeHeap;
HINSTANCE ModuleInstance;

bool (*RuntimeRefusesAllocation)();

namespace {

bool Refused() { return RuntimeRefusesAllocation && RuntimeRefusesAllocation(); }

}  // namespace

void* RuntimeAllocate(size_t size) { return Refused() ? nullptr : HeapAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, size); }

void* RuntimeReallocate(void* block, size_t size) {
  if (!block) return RuntimeAllocate(size);
  return Refused() ? nullptr : HeapReAlloc(RuntimeHeap, HEAP_ZERO_MEMORY, block, size);
}

void RuntimeFree(void* block) {
  if (block) HeapFree(RuntimeHeap, 0, block);
}

size_t GrownCapacity(size_t capacity, size_t need, size_t limit) {
  if (need > limit) return 0;
  const size_t doubled = capacity > limit / 2 ? limit : capacity * 2;
  return std::max(doubled, need);
}

bool KeptBlock::Reserve(size_t size, size_t limit) {
  if (size <= capacity && bytes) return true;
  const size_t grown = GrownCapacity(capacity, size, limit);
  if (!grown) return false;
  if (!bytes) heap = RuntimeHeap;
  void* moved = Refused() ? nullptr : bytes ? HeapReAlloc(heap, 0, bytes, grown) : HeapAlloc(heap, 0, grown);
  if (!moved) return false;
  bytes = static_cast<char*>(moved);
  capacity = grown;
  return true;
}

size_t KeptBlock::Append(const void* from, size_t count, size_t limit) {
  if (count > capacity - length) Reserve(length <= limit && count <= limit - length ? length + count : limit, limit);
  const size_t taken = std::min(count, capacity - length);
  if (taken == 0) return 0;
  std::memcpy(bytes + length, from, taken);
  length += taken;
  return taken;
}

void KeptBlock::Finish() {
  length = 0;
  if (capacity > KeptBlockLimit) Release();
}

void KeptBlock::Release() {
  if (bytes) HeapFree(heap, 0, bytes);
  *this = KeptBlock{};
}

void* LibraryStateCreate(size_t size, bool (*initialise)(void* state)) {
  void* state = RuntimeAllocate(size);
  if (state && initialise && !initialise(state)) {
    RuntimeFree(state);
    return nullptr;
  }
  return state;
}

namespace {

constexpr int32_t FirstBucketCount = 16;

void* RecordOf(DynamicNode* node) { return node + 1; }

bool IsAbsent(const void* record) { return *static_cast<void* const*>(record) == nullptr; }

bool IsSlotNumber(const ObjectTable* table, ObjectId value) {
  return value >= 0 && value < table->slotCount;
}

bool IsAcceptedNumber(ObjectId number) { return number >= 0 && number < ObjectNumberLimit; }

// Fibonacci hashing: the bits taken from the middle of the product mix every
// address bit below them, so records whose low bits are all alike still spread.
size_t BucketOf(const ObjectTable* table, ObjectId value) {
  const uint64_t product = static_cast<uint64_t>(static_cast<uintptr_t>(value)) * 0x9E3779B97F4A7C15u;
  return static_cast<size_t>(product >> 32) & static_cast<size_t>(table->bucketCount - 1);
}

void AddToBuckets(ObjectTable* table, DynamicNode* node) {
  DynamicNode** bucket = &table->buckets[BucketOf(table, ObjectIdentifierOf(RecordOf(node)))];
  node->sameBucket = *bucket;
  *bucket = node;
}

// Room in the buckets for one more node: the first buckets, or twice as many once
// the nodes outnumber them. When the heap refuses a larger array the chains just
// grow longer; only the first array is required.
bool MakeRoomForNode(ObjectTable* table) {
  if (table->buckets && table->dynamicCount < table->bucketCount) return true;
  const int32_t count = table->buckets ? table->bucketCount * 2 : FirstBucketCount;
  auto* buckets = static_cast<DynamicNode**>(RuntimeAllocate(sizeof(DynamicNode*) * static_cast<size_t>(count)));
  if (!buckets) return table->buckets != nullptr;
  RuntimeFree(table->buckets);
  table->buckets = buckets;
  table->bucketCount = count;
  for (DynamicNode* node = table->newest; node; node = node->older) AddToBuckets(table, node);
  return true;
}

// The link that points at the node whose record has this address. Only nodes of
// the table are read, so a value naming no live dynamic object is never dereferenced.
DynamicNode** BucketLink(const ObjectTable* table, ObjectId value) {
  if (!table->buckets) return nullptr;
  DynamicNode** link = &table->buckets[BucketOf(table, value)];
  while (*link && ObjectIdentifierOf(RecordOf(*link)) != value) link = &(*link)->sameBucket;
  return *link ? link : nullptr;
}

DynamicNode* FindNode(const ObjectTable* table, ObjectId value) {
  DynamicNode** link = BucketLink(table, value);
  return link ? *link : nullptr;
}

void* AllocateDynamic(ObjectTable* table) {
  if (!MakeRoomForNode(table)) return nullptr;
  auto* node = static_cast<DynamicNode*>(RuntimeAllocate(sizeof(DynamicNode) + static_cast<size_t>(table->elementSize)));
  if (!node) return nullptr;
  node->older = table->newest;
  if (table->newest) table->newest->newer = node;
  table->newest = node;
  AddToBuckets(table, node);
  ++table->dynamicCount;
  return RecordOf(node);
}

// Makes the slot array reach number; false, with the table unchanged, when the heap refuses.
bool ReachSlot(ObjectTable* table, ObjectId number) {
  if (number < table->slotCount) return true;
  const auto count = static_cast<int32_t>(std::min<ObjectId>(number + table->growthStep, ObjectNumberLimit));
  auto* slots = static_cast<void**>(RuntimeReallocate(table->slots, sizeof(void*) * static_cast<size_t>(count)));
  if (!slots) return false;
  table->slots = slots;
  table->slotCount = count;
  return true;
}

}  // namespace

ObjectTable* ObjectTableCreate(int32_t elementSize, int32_t growthStep, FreeOperation freeObject) {
  auto* table = static_cast<ObjectTable*>(RuntimeAllocate(sizeof(ObjectTable)));
  auto* slots = static_cast<void**>(RuntimeAllocate(sizeof(void*) * growthStep));
  if (!table || !slots) {
    RuntimeFree(table);
    RuntimeFree(slots);
    return nullptr;
  }
  table->elementSize = elementSize;
  table->growthStep = growthStep;
  table->slotCount = growthStep;
  table->slots = slots;
  table->freeObject = freeObject;
  return table;
}

void* ObjectAllocate(ObjectTable* table, ObjectId number) {
  if (number == DynamicNumber) return AllocateDynamic(table);
  if (!IsAcceptedNumber(number) || !ReachSlot(table, number)) return nullptr;
  if (void* record = table->slots[number]) {
    if (table->freeObject) table->freeObject(number);
    std::memset(record, 0, static_cast<size_t>(table->elementSize));
    return record;
  }
  table->slots[number] = RuntimeAllocate(static_cast<size_t>(table->elementSize));
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

intptr_t ObjectCreated(ObjectTable* table, ObjectId number, void* record) {
  const ObjectId identifier = number == DynamicNumber ? ObjectIdentifierOf(record) : number;
  if (IsAbsent(record)) {
    ObjectRelease(table, identifier);
    return 0;
  }
  return number == DynamicNumber ? identifier : reinterpret_cast<intptr_t>(*static_cast<void**>(record));
}

void ObjectRelease(ObjectTable* table, ObjectId value) {
  if (IsSlotNumber(table, value)) {
    if (void* record = table->slots[value]) std::memset(record, 0, static_cast<size_t>(table->elementSize));
    return;
  }
  DynamicNode** link = BucketLink(table, value);
  if (!link) return;
  DynamicNode* node = *link;
  *link = node->sameBucket;
  if (node->newer) node->newer->older = node->older;
  else table->newest = node->older;
  if (node->older) node->older->newer = node->newer;
  if (table->iterationNode == node) table->iterationNode = node->newer;
  --table->dynamicCount;
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

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "core/core.h"

namespace {

struct Record {
  void* handle;  // first word: non-zero while the object lives
  int payload;
};

ObjectTable* table;
std::vector<ObjectId> freed;

void FreeRecord(ObjectId value) {
  freed.push_back(value);
  if (ObjectFind(table, value)) ObjectRelease(table, value);
}

Record* Make(ObjectId number, int payload) {
  auto* record = static_cast<Record*>(ObjectAllocate(table, number));
  record->handle = reinterpret_cast<void*>(0x1000 + payload);
  record->payload = payload;
  return record;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    table = ObjectTableCreate(sizeof(Record), 16, FreeRecord);
    freed.clear();
  }
};

TEST_F(Registry, NumberBeyondSlotsGrowsByStepAndLeavesGapsAbsent) {
  Make(20, 1);
  EXPECT_EQ(table->slotCount, 36);
  for (ObjectId n : {16, 19, 21, 35}) EXPECT_EQ(ObjectFind(table, n), nullptr) << n;
  ASSERT_NE(ObjectFind(table, 20), nullptr);
  EXPECT_EQ(static_cast<Record*>(ObjectFind(table, 20))->payload, 1);
}

TEST_F(Registry, ReusingANumberFreesTheOldObjectAndKeepsItsRecord) {
  Record* first = Make(3, 1);
  Record* second = Make(3, 2);
  EXPECT_EQ(first, second);
  ASSERT_EQ(freed.size(), 1u);
  EXPECT_EQ(freed[0], 3);
  EXPECT_EQ(static_cast<Record*>(ObjectFind(table, 3))->payload, 2);
}

TEST_F(Registry, ReleasedNumberReadsAbsentAndIsReusedZeroed) {
  Record* record = Make(5, 7);
  ObjectRelease(table, 5);
  EXPECT_EQ(ObjectFind(table, 5), nullptr);
  auto* again = static_cast<Record*>(ObjectAllocate(table, 5));
  EXPECT_EQ(again, record);
  EXPECT_EQ(again->handle, nullptr);
  EXPECT_EQ(again->payload, 0);
}

TEST_F(Registry, RecordWithoutHandleIsNotFound) {
  auto* numbered = static_cast<Record*>(ObjectAllocate(table, 2));
  auto* dynamic = static_cast<Record*>(ObjectAllocate(table, DynamicNumber));
  numbered->payload = dynamic->payload = 9;
  EXPECT_EQ(ObjectFind(table, 2), nullptr);
  EXPECT_EQ(ObjectFind(table, ObjectIdentifierOf(dynamic)), nullptr);
}

TEST_F(Registry, DynamicIdentifierIsTheRecordAddress) {
  Record* record = Make(DynamicNumber, 4);
  const ObjectId id = ObjectIdentifierOf(record);
  EXPECT_GT(id, 0x10000);
  EXPECT_EQ(ObjectFind(table, id), record);
  ObjectRelease(table, id);
  EXPECT_EQ(ObjectFind(table, id), nullptr);
}

TEST_F(Registry, ValuesNamingNoObjectAreNeverDereferenced) {
  Record* live = Make(DynamicNumber, 1);
  int onStack = 0;
  // Addresses that are no record of this table, one of them unmapped.
  for (ObjectId bogus : {ObjectIdentifierOf(&onStack), ObjectIdentifierOf(live) + 8,
                         static_cast<ObjectId>(0x7FFF0000), static_cast<ObjectId>(-2), static_cast<ObjectId>(1000000)}) {
    EXPECT_EQ(ObjectFind(table, bogus), nullptr);
    ObjectRelease(table, bogus);
  }
  EXPECT_EQ(ObjectFind(table, ObjectIdentifierOf(live)), live);
}

TEST_F(Registry, IterationGivesNumbersAscendingThenDynamicOldestFirst) {
  Record* d1 = Make(DynamicNumber, 10);
  Make(7, 1);
  Record* d2 = Make(DynamicNumber, 11);
  Make(2, 2);
  Make(4, 3);
  ObjectRelease(table, 4);

  std::vector<ObjectId> order;
  ObjectIterateBegin(table);
  ObjectId value;
  while (ObjectIterateNext(table, &value)) order.push_back(value);
  EXPECT_EQ(order, (std::vector<ObjectId>{2, 7, ObjectIdentifierOf(d1), ObjectIdentifierOf(d2)}));
}

TEST_F(Registry, FreeAllVisitsEveryObjectOnceWhileEachIsReleased) {
  std::vector<ObjectId> made;
  for (int i = 0; i < 3; ++i) made.push_back(ObjectIdentifierOf(Make(DynamicNumber, i)));
  Make(0, 5);
  Make(40, 6);
  ObjectFreeAll(table);
  EXPECT_EQ(freed, (std::vector<ObjectId>{0, 40, made[0], made[1], made[2]}));
  for (ObjectId id : freed) EXPECT_EQ(ObjectFind(table, id), nullptr);
  EXPECT_EQ(table->newest, nullptr);
}

TEST_F(Registry, FindByHandleReportsTheNameOfALiveObject) {
  Record* numbered = Make(9, 1);
  Record* dynamic = Make(DynamicNumber, 2);
  Make(3, 3);
  ObjectRelease(table, 3);
  ObjectId value = 0;
  EXPECT_EQ(ObjectFindByHandle(table, numbered->handle, &value), numbered);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(ObjectFindByHandle(table, dynamic->handle, &value), dynamic);
  EXPECT_EQ(value, ObjectIdentifierOf(dynamic));
  EXPECT_EQ(ObjectFindByHandle(table, reinterpret_cast<void*>(0x1003), &value), nullptr);  // released
  EXPECT_EQ(ObjectFindByHandle(table, nullptr, &value), nullptr);  // absent records all have handle 0
}

TEST_F(Registry, ValuesThatAreNeitherNumbersNorDynamicAreRefused) {
  for (ObjectId refused : {ObjectId{-2}, ObjectId{INT32_MIN}, ObjectNumberLimit, ObjectId{0x7FFF0000}, INTPTR_MAX})
    EXPECT_EQ(ObjectAllocate(table, refused), nullptr) << refused;
  EXPECT_EQ(table->slotCount, 16);
  EXPECT_EQ(table->newest, nullptr);
  EXPECT_NE(ObjectAllocate(table, ObjectNumberLimit - 1), nullptr);
}

// Thousands of dynamic objects made and released at random, through several
// growths of the buckets: each live one is found and iterated in creation order.
TEST_F(Registry, ManyDynamicObjectsStayFoundThroughGrowthAndRelease) {
  std::mt19937 random(7);
  std::vector<ObjectId> live;
  for (int round = 0; round < 6000; ++round) {
    if (live.empty() || random() % 3) {
      live.push_back(ObjectIdentifierOf(Make(DynamicNumber, round)));
      continue;
    }
    const auto at = live.begin() + static_cast<std::ptrdiff_t>(random() % live.size());
    ObjectRelease(table, *at);
    EXPECT_EQ(ObjectFind(table, *at), nullptr);
    live.erase(at);
  }
  std::vector<ObjectId> order;
  ObjectId value;
  for (ObjectIterateBegin(table); ObjectIterateNext(table, &value);) order.push_back(value);
  EXPECT_EQ(order, live);
  for (ObjectId id : live) EXPECT_EQ(ObjectIdentifierOf(ObjectFind(table, id)), id);
}

// A free operation may release an object the iteration has not reached yet.
TEST_F(Registry, FreeAllSkipsAnObjectThatAnEarlierFreeReleased) {
  static ObjectId partner;
  const ObjectId first = ObjectIdentifierOf(Make(DynamicNumber, 1));
  partner = ObjectIdentifierOf(Make(DynamicNumber, 2));
  const ObjectId last = ObjectIdentifierOf(Make(DynamicNumber, 3));
  table->freeObject = [](ObjectId value) {
    FreeRecord(value);
    if (freed.size() == 1) ObjectRelease(table, partner);
  };
  ObjectFreeAll(table);
  EXPECT_EQ(freed, (std::vector<ObjectId>{first, last}));
}

TEST(GrownCapacity, DoublesUpToTheLimitWithoutWrapping) {
  constexpr size_t Most = SIZE_MAX;
  const size_t cases[][4] = {// capacity, need, limit, grown
                             {4096, 4097, Most, 8192}, {4096, 20000, Most, 20000},          {60, 61, 100, 100},
                             {100, 101, 100, 0},       {Most / 2 + 1, Most / 2 + 2, Most, Most}, {10, Most, Most - 1, 0}};
  for (const auto& c : cases) EXPECT_EQ(GrownCapacity(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
}

TEST(LibraryState, IsZeroFilledAndInitialised) {
  struct State {
    int a;
    int b[8];
  };
  auto* state = static_cast<State*>(LibraryStateCreate(sizeof(State), [](void* s) {
    static_cast<State*>(s)->a = 42;
    return true;
  }));
  EXPECT_EQ(state->a, 42);
  for (int v : state->b) EXPECT_EQ(v, 0);
  EXPECT_EQ(LibraryStateCreate(sizeof(State), [](void*) { return false; }), nullptr);
}

}  // namespace

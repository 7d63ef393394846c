#include <gtest/gtest.h>

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

TEST(LibraryState, IsZeroFilledAndInitialised) {
  struct State {
    int a;
    int b[8];
  };
  auto* state = static_cast<State*>(LibraryStateCreate(sizeof(State), [](void* s) { static_cast<State*>(s)->a = 42; }));
  EXPECT_EQ(state->a, 42);
  for (int v : state->b) EXPECT_EQ(v, 0);
}

}  // namespace

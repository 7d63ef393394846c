// The heap check finds a real 4-byte overrun, on a heap of this test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "support/test_support.h"

TEST(HeapCheck, NamesAHeapWithABlockOverrunByFourBytes) {
  const char* debug = std::getenv("WINEDEBUG");
  if (!debug || !std::strstr(debug, "warn+heap")) GTEST_SKIP() << "needs WINEDEBUG=-all,warn+heap, as scripts/test.sh sets";
  HANDLE heap = HeapCreate(0, 0, 0);
  auto* block = static_cast<char*>(HeapAlloc(heap, 0, 20));
  ASSERT_TRUE(testing_support::HeapIntact(heap, "own heap"));
  char tail[4];
  std::memcpy(tail, block + 20, 4);
  std::memset(block + 20, 0x5A, 4);
  const testing::AssertionResult overrun = testing_support::HeapIntact(heap, "own heap");
  std::memcpy(block + 20, tail, 4);  // put back, so the heap can be destroyed
  EXPECT_FALSE(overrun);
  EXPECT_STREQ(overrun.message(), "HeapValidate finds own heap damaged");
  HeapDestroy(heap);
}

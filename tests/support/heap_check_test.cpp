// The heap check finds a real overrun: on a heap of this test's own, so the
// heaps the listener watches stay intact.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/heap_check.h"

TEST(HeapCheck, NamesAHeapWithABlockOverrunByFourBytes) {
  if (!testing_support::WineHeapChecking())
    GTEST_SKIP() << "heap checking is off: Wine finds overruns only with warn+heap in WINEDEBUG "
                    "(scripts/test.sh sets WINEDEBUG=-all,warn+heap)";
  HANDLE heap = HeapCreate(0, 0, 0);
  ASSERT_TRUE(heap);
  constexpr size_t BlockSize = 20;
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, BlockSize));
  ASSERT_TRUE(block);
  ASSERT_TRUE(testing_support::HeapIntact(heap, "overrun heap"));

  unsigned char tail[4];
  std::memcpy(tail, block + BlockSize, sizeof tail);
  std::memset(block + BlockSize, 0x5A, sizeof tail);
  const testing::AssertionResult overrun = testing_support::HeapIntact(heap, "overrun heap");
  std::memcpy(block + BlockSize, tail, sizeof tail);

  EXPECT_FALSE(overrun);
  EXPECT_NE(std::string(overrun.message()).find("overrun heap"), std::string::npos) << overrun.message();
  EXPECT_TRUE(testing_support::HeapIntact(heap, "overrun heap")) << "the tail put back validates again";
  HeapFree(heap, 0, block);
  HeapDestroy(heap);
}

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "core/core.h"

namespace {

int ChunkCount(const BlockChunk* list) {
  int n = 0;
  for (; list; list = list->next) ++n;
  return n;
}

TEST(BlockPool, ChunkSizesGrowWithThePool) {
  BlockPool* pool = BlockPoolCreate(24, 16, 256);
  std::vector<int> chunkSizes;  // block count of each new chunk, in order
  int before = 0;
  for (int i = 0; i < 6000; ++i) {
    BlockTake(pool);
    if (pool->totalBlocks != before) chunkSizes.push_back(pool->totalBlocks - before);
    before = pool->totalBlocks;
  }
  // 16 per chunk until 512 blocks; then 32, 48, ... one step per 256 blocks; 256 from 4096.
  int total = 0;
  for (int size : chunkSizes) {
    int expected = total < 512 ? 16 : ((total >> 4) & ~15);
    if (expected > 256) expected = 256;
    EXPECT_EQ(size, expected) << "pool of " << total << " blocks";
    total += size;
  }
  EXPECT_EQ(chunkSizes.front(), 16);
  EXPECT_EQ(chunkSizes[32], 32);
  EXPECT_EQ(chunkSizes.back(), 256);
}

TEST(BlockPool, BlocksAreDistinctAndUsable) {
  BlockPool* pool = BlockPoolCreate(40, 16, 256);
  std::set<void*> seen;
  std::vector<char*> blocks;
  for (int i = 0; i < 100; ++i) {
    auto* block = static_cast<char*>(BlockTake(pool));
    EXPECT_TRUE(seen.insert(block).second);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(void*), 0u);
    for (int b = 0; b < 40; ++b) block[b] = static_cast<char>(i);
    blocks.push_back(block);
  }
  for (int i = 0; i < 100; ++i)
    for (int b = 0; b < 40; ++b) ASSERT_EQ(blocks[i][b], static_cast<char>(i));
}

TEST(BlockPool, ReturnedBlocksAreReusedAndAnEmptiedChunkIsFreed) {
  BlockPool* pool = BlockPoolCreate(8, 16, 256);
  std::vector<void*> first;
  for (int i = 0; i < 16; ++i) first.push_back(BlockTake(pool));
  EXPECT_EQ(ChunkCount(pool->full), 1);
  EXPECT_EQ(ChunkCount(pool->available), 0);

  void* extra = BlockTake(pool);  // opens a second chunk
  EXPECT_EQ(pool->totalBlocks, 32);

  BlockGive(pool, first[3]);  // the full chunk has a block to give again
  EXPECT_EQ(ChunkCount(pool->full), 0);
  EXPECT_EQ(ChunkCount(pool->available), 2);
  EXPECT_EQ(BlockTake(pool), first[3]);

  for (void* block : first) BlockGive(pool, block);
  EXPECT_EQ(pool->totalBlocks, 16);
  BlockGive(pool, extra);
  EXPECT_EQ(pool->totalBlocks, 0);
  EXPECT_EQ(pool->available, nullptr);
  EXPECT_EQ(pool->full, nullptr);
}

TEST(BlockPool, RefusedChunksGiveNullAndThePoolStaysUsable) {
  BlockPool* pool = BlockPoolCreate(8, 16, 16);
  RuntimeRefusesAllocation = [] { return true; };
  EXPECT_EQ(BlockPoolCreate(8, 16, 16), nullptr);
  EXPECT_EQ(BlockTake(pool), nullptr);
  RuntimeRefusesAllocation = nullptr;
  void* block = BlockTake(pool);
  ASSERT_NE(block, nullptr);
  BlockGive(pool, block);
}

}  // namespace

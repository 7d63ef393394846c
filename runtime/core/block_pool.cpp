// Block pool: each block is one word naming its chunk, then the caller's bytes.
// A chunk is its header followed by blockCount such blocks.
#include "core/core.h"

namespace {

size_t BlockStride(const BlockPool* pool) {
  const size_t raw = sizeof(void*) + pool->elementSize;
  return (raw + alignof(void*) - 1) & ~(alignof(void*) - 1);
}

void* BlockAt(const BlockPool* pool, BlockChunk* chunk, int32_t index) {
  return reinterpret_cast<char*>(chunk + 1) + BlockStride(pool) * index;
}

void Unlink(BlockChunk** list, BlockChunk* chunk) {
  if (chunk->previous) chunk->previous->next = chunk->next;
  else *list = chunk->next;
  if (chunk->next) chunk->next->previous = chunk->previous;
  chunk->next = chunk->previous = nullptr;
}

void PushFront(BlockChunk** list, BlockChunk* chunk) {
  chunk->previous = nullptr;
  chunk->next = *list;
  if (*list) (*list)->previous = chunk;
  *list = chunk;
}

bool IsExhausted(const BlockChunk* chunk) {
  return chunk->returnedCount == 0 && chunk->untouched == chunk->blockCount;
}

int32_t NewChunkSize(const BlockPool* pool) {
  int32_t count = (pool->totalBlocks >> 4) & ~15;
  if (count < pool->minPerChunk) count = pool->minPerChunk;
  if (count > pool->maxPerChunk) count = pool->maxPerChunk;
  return count;
}

// Hands out one block of a chunk that has some left.
void* TakeFrom(BlockPool* pool, BlockChunk* chunk) {
  void* block;
  if (chunk->returned) {
    block = chunk->returned;
    chunk->returned = *static_cast<void**>(block);
    chunk->returnedCount--;
  } else {
    block = BlockAt(pool, chunk, chunk->untouched++);
  }
  return block;
}

BlockChunk* NewChunk(BlockPool* pool) {
  int32_t count = NewChunkSize(pool);
  auto* chunk = static_cast<BlockChunk*>(RuntimeAllocate(sizeof(BlockChunk) + BlockStride(pool) * count));
  if (!chunk) {
    count = 1;
    chunk = static_cast<BlockChunk*>(RuntimeAllocate(sizeof(BlockChunk) + BlockStride(pool)));
    if (!chunk) return nullptr;
  }
  chunk->blockCount = count;
  pool->totalBlocks += count;
  return chunk;
}

}  // namespace

BlockPool* BlockPoolCreate(int32_t elementSize, int32_t minPerChunk, int32_t maxPerChunk) {
  auto* pool = static_cast<BlockPool*>(RuntimeAllocate(sizeof(BlockPool)));
  if (!pool) return nullptr;
  pool->elementSize = elementSize;
  pool->minPerChunk = minPerChunk;
  pool->maxPerChunk = maxPerChunk;
  return pool;
}

void* BlockTake(BlockPool* pool) {
  void* block;
  BlockChunk* chunk = pool->available;
  if (chunk) {
    block = TakeFrom(pool, chunk);
    if (IsExhausted(chunk)) {
      Unlink(&pool->available, chunk);
      PushFront(&pool->full, chunk);
    }
  } else {
    chunk = NewChunk(pool);
    if (!chunk) return nullptr;
    block = TakeFrom(pool, chunk);
    PushFront(chunk->blockCount > 1 ? &pool->available : &pool->full, chunk);
  }
  *static_cast<BlockChunk**>(block) = chunk;
  return static_cast<void**>(block) + 1;
}

void BlockGive(BlockPool* pool, void* userBlock) {
  void** block = static_cast<void**>(userBlock) - 1;
  auto* chunk = static_cast<BlockChunk*>(*block);
  *block = chunk->returned;
  chunk->returned = block;
  chunk->returnedCount++;
  const bool wasFull = chunk->returnedCount == 1 && chunk->untouched == chunk->blockCount;
  if (chunk->returnedCount == chunk->untouched) {
    Unlink(wasFull ? &pool->full : &pool->available, chunk);
    pool->totalBlocks -= chunk->blockCount;
    RuntimeFree(chunk);
  } else if (wasFull) {
    Unlink(&pool->full, chunk);
    PushFront(&pool->available, chunk);
  }
}

// Runtime core: the process-wide heap and module handle, the registry that maps
// object numbers and identifiers to each library's records, the block pool and
// the zero-filled state blocks of the libraries.
//
// Every allocation made here comes from RuntimeHeap. Nothing reports an error:
// a missing object, a refused number and a refused allocation are a null record.
#pragma once

#include <windows.h>

#include <cstdint>

extern HANDLE RuntimeHeap;       // created by the entry point before any library starts
extern HINSTANCE ModuleInstance; // the program's own module, for classes and resources

// Names of runtime objects. A value from 0 to ObjectNumberLimit - 1 is an
// ObjectNumber chosen by the program; DynamicNumber asks the library for a new
// object whose identifier is the address of its record. The platform never hands
// out an address below 0x10000, so a number is never mistaken for an identifier.
// Any other value names nothing: a creation given one answers 0 and registers nothing.
using ObjectId = intptr_t;
constexpr ObjectId DynamicNumber = -1;
constexpr ObjectId ObjectNumberLimit = 0x10000;

// Frees the library's object of one number or identifier (and calls ObjectRelease).
using FreeOperation = void (*)(ObjectId);

// A record of a dynamic object sits right after its node's links.
struct DynamicNode {
  DynamicNode* older;       // towards the oldest dynamic record
  DynamicNode* newer;       // towards the newest; null at the head
  DynamicNode* sameBucket;  // next node whose identifier hashes to the same bucket
};

// One table per library. A record is elementSize zero-filled bytes whose first
// pointer-sized word is the object's platform handle or main pointer; a record
// whose first word is 0 counts as absent. Numbered records belong to their slot for
// the life of the table; dynamic records are freed with their object. An identifier
// is looked up by its hash among the live dynamic records, so a value that names no
// live record is never read. The buckets double as the records come to outnumber
// them, so a look-up walks about one record on average; when the heap refuses a
// larger bucket array, the chains grow with the records instead.
struct ObjectTable {
  int32_t elementSize;         // bytes of one record
  int32_t growthStep;          // initial slot count, and slots added past a number that does not fit
  int32_t slotCount;           // length of slots
  void** slots;                // record per number, null where none was ever allocated (owned)
  DynamicNode* newest;         // head of the dynamic list, newest first (owned)
  DynamicNode** buckets;       // dynamic nodes by identifier hash, null before the first one (owned)
  int32_t bucketCount;         // length of buckets, a power of two
  int32_t dynamicCount;        // dynamic records in the list
  FreeOperation freeObject;    // the library's free operation, or null
  int32_t iterationSlot;       // next slot ObjectIterateNext looks at
  DynamicNode* iterationNode;  // next dynamic node to report, walking oldest to newest
};

// A new empty table; null when the heap refuses it.
ObjectTable* ObjectTableCreate(int32_t elementSize, int32_t growthStep, FreeOperation freeObject);

// A zeroed record for number (an object already under it is freed first), or a new
// dynamic record for DynamicNumber, whose identifier is ObjectIdentifierOf(record).
// Null for any other value, or when the heap refuses the memory.
void* ObjectAllocate(ObjectTable* table, ObjectId number);

// The live record of a number or identifier; null when there is none, the record's
// first word is 0, or the value names neither a slot nor a live dynamic record.
void* ObjectFind(ObjectTable* table, ObjectId value);

// The live record whose first word is handle, with its number or identifier; null
// when no object has that handle. Scans the table without disturbing an iteration.
void* ObjectFindByHandle(ObjectTable* table, const void* handle, ObjectId* value);

// The last step of every creation. A creation takes its record with ObjectAllocate,
// makes its platform object and stores it in the record's first word, which stays 0
// when the object could not be made. Answers the handle for a number and the
// identifier for DynamicNumber; when nothing was made, releases the record and
// answers 0, so that a failed creation leaves nothing registered.
intptr_t ObjectCreated(ObjectTable* table, ObjectId number, void* record);

// Forgets an object: a numbered record is zeroed and kept, a dynamic one is freed.
void ObjectRelease(ObjectTable* table, ObjectId value);

// Calls the free operation for every object: live numbers ascending, then every
// dynamic record oldest first. The free operation may release what it is given.
void ObjectFreeAll(ObjectTable* table);

// Iteration in the order of ObjectFreeAll. Next reports the record and its number or
// identifier, or null at the end; it advances first, so the caller may free the object.
void ObjectIterateBegin(ObjectTable* table);
void* ObjectIterateNext(ObjectTable* table, ObjectId* value);

inline ObjectId ObjectIdentifierOf(const void* record) { return reinterpret_cast<ObjectId>(record); }

// Fixed-size blocks carved from chunks. A new chunk holds the pool's total block
// count / 16, rounded down to a multiple of 16 and kept within [minPerChunk,
// maxPerChunk]; a chunk is freed as soon as every block it handed out is back.
// One thread takes and gives every block, so the pool takes no lock.
struct BlockChunk;

struct BlockPool {
  int32_t elementSize;       // bytes the caller may use in one block
  int32_t minPerChunk;       // lower bound of a new chunk's block count
  int32_t maxPerChunk;       // upper bound of a new chunk's block count
  int32_t totalBlocks;       // blocks in all live chunks
  BlockChunk* available;     // chunks with blocks to give, most recent first (owned)
  BlockChunk* full;          // chunks that have handed out every block (owned)
};

struct BlockChunk {
  BlockChunk* next;          // neighbours in the pool list that holds the chunk
  BlockChunk* previous;
  int32_t blockCount;        // blocks in this chunk
  int32_t untouched;         // index of the next never-used block; blocks below it were handed out
  int32_t returnedCount;     // blocks on the returned list
  void* returned;            // returned blocks, linked through their first word
};

// Null when the heap refuses the pool, or, for BlockTake, a new chunk of even one block.
BlockPool* BlockPoolCreate(int32_t elementSize, int32_t minPerChunk, int32_t maxPerChunk);
void* BlockTake(BlockPool* pool);
void BlockGive(BlockPool* pool, void* block);

// A zero-filled block for a library's process-wide state, passed to initialise first;
// null when the heap refuses it or initialise answers false (the block is then freed).
void* LibraryStateCreate(size_t size, bool (*initialise)(void* state) = nullptr);

// The capacity a growing buffer should take to hold need bytes: twice the old
// capacity or need, whichever is more, but never past limit; 0 when need itself is
// past limit. Doubling keeps the cost of growing linear in the final size, and the
// arithmetic cannot wrap whatever the sizes.
size_t GrownCapacity(size_t capacity, size_t need, size_t limit);

// A byte block kept from one use to the next (a line, a replacement), so that work
// done per line allocates nothing in the steady state. It comes from RuntimeHeap (and
// keeps the heap it came from), grows by GrownCapacity without zeroing, and keeps its
// bytes when it grows. A block that grew past KeptBlockLimit is given back when its
// use ends, so that one huge line does not stay pinned. A zero-filled KeptBlock
// holds nothing.
constexpr size_t KeptBlockLimit = 64 * 1024;

struct KeptBlock {
  char* bytes;      // owned, or null
  HANDLE heap;      // the heap bytes came from
  size_t capacity;  // bytes allocated
  size_t length;    // bytes in use, from the start of the block

  // Room for size bytes; false when the heap refuses it or size passes limit.
  bool Reserve(size_t size, size_t limit);
  // Appends count bytes, growing the block up to limit bytes; when it cannot grow
  // enough, only the bytes that fit are taken. Answers how many were.
  size_t Append(const void* from, size_t count, size_t limit);
  // Ends a use: the block is emptied, and given back when it holds more than KeptBlockLimit.
  void Finish();
  void Release();
};

// Zero-filled memory from RuntimeHeap, and its release.
void* RuntimeAllocate(size_t size);
void* RuntimeReallocate(void* block, size_t size); // new bytes are zeroed
void RuntimeFree(void* block);

// Fault injection, for tests alone: when set, every allocation from RuntimeHeap
// (RuntimeAllocate, RuntimeReallocate, KeptBlock) asks it first and is refused, as a
// full heap would refuse it, when it answers true. The program never sets it.
extern bool (*RuntimeRefusesAllocation)();

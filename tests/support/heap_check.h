// Heap checks run after every test: a block overrun or a write after free is
// silent until a later heap call faults somewhere else, so each test's end
// validates the heaps and names the one it damaged.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

namespace testing_support {

// Whether Wine creates heaps with tail checking: WINEDEBUG holds warn+heap.
// Without it an overrun into a block's slack validates as intact.
bool WineHeapChecking();

// HeapValidate over the whole heap; a failure's message names the heap.
testing::AssertionResult HeapIntact(HANDLE heap, const char* name);

// Validates RuntimeHeap, StringHeap (once it exists) and the process heap after
// every test, and fails that test with the name of a damaged heap.
void InstallHeapCheck();

}  // namespace testing_support

// Test entry point: the runtime's heap and module handle exist before any test,
// as the program's entry point makes them before the libraries start.
#include <gtest/gtest.h>

#include "core/core.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
  ModuleInstance = GetModuleHandleW(nullptr);
  RuntimeHeap = HeapCreate(0, 4096, 0);
  testing::InitGoogleTest(&argc, argv);
  testing_support::InstallHeapCheck();
  return RUN_ALL_TESTS();
}

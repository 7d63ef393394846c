#include "support/heap_check.h"

#include <cstring>
#include <set>

#include "core/core.h"
#include "strings/strings.h"

namespace testing_support {

namespace {

class HeapCheckListener : public testing::EmptyTestEventListener {
 public:
  // Fails the test that has just run while it is still the current one, so the
  // failure is counted and printed with it.
  void OnTestEnd(const testing::TestInfo& test) override {
    const struct {
      HANDLE heap;
      const char* name;
    } heaps[] = {{RuntimeHeap, "RuntimeHeap"}, {StringHeap, "StringHeap"}, {GetProcessHeap(), "process heap"}};
    for (const auto& [heap, name] : heaps) {
      // A heap stays damaged; only the test after which it first fails is blamed.
      if (!heap || reported_.count(heap)) continue;
      const testing::AssertionResult intact = HeapIntact(heap, name);
      if (intact) continue;
      reported_.insert(heap);
      ADD_FAILURE_AT(test.file(), test.line()) << intact.message() << " at the end of this test";
    }
  }

 private:
  std::set<HANDLE> reported_;
};

}  // namespace

bool WineHeapChecking() {
  char value[512] = {};
  const DWORD length = GetEnvironmentVariableA("WINEDEBUG", value, sizeof value);
  return length > 0 && length < sizeof value && std::strstr(value, "warn+heap");
}

testing::AssertionResult HeapIntact(HANDLE heap, const char* name) {
  if (HeapValidate(heap, 0, nullptr)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "HeapValidate finds " << name << " damaged";
}

void InstallHeapCheck() {
  // OnTestEnd reaches listeners in reverse order of appending, so this one runs
  // before the default printer's and the printer reports the test as FAILED.
  testing::UnitTest::GetInstance()->listeners().Append(new HeapCheckListener);
}

}  // namespace testing_support

#include "support/accessible_name.h"

#include <oleacc.h>

namespace testing_support {

std::wstring AccessibleNameOf(IUnknown* object) {
  IAccessible* accessible = nullptr;
  if (FAILED(object->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(&accessible)))) return L"(none)";
  VARIANT self = {};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::wstring result = accessible->get_accName(self, &name) == S_OK && name ? name : L"(no name)";
  SysFreeString(name);
  accessible->Release();
  return result;
}

}  // namespace testing_support

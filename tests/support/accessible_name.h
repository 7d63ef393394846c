// The name a screen reader reads from an accessible object. Kept apart from the
// rest of the support library, so that only the tests that call it link oleacc.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace testing_support {

// The object's IAccessible name for itself, "(none)" when it has no IAccessible,
// "(no name)" when it gives no name.
std::wstring AccessibleNameOf(IUnknown* object);

}  // namespace testing_support

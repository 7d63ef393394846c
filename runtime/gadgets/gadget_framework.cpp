// What every gadget kind shares: the gadget table, registration of a new control,
// GadgetProcedure's clean-up when the control dies, and the routing of the parent
// window's notifications to the kind's notify slot.
#include "gadgets/gadgets.h"

#include <commctrl.h>
#include <oleacc.h>

#include <cwchar>
#include <new>

namespace {

// The library's process-wide state.
struct GadgetContext {
  ObjectTable* table;  // GadgetRecord per number or identifier (owned)
  HFONT currentFont;   // sent to every new gadget (not owned: stock object or a font of the font library)
};

GadgetContext* GadgetState;
HFONT DefaultGadgetFont;

// The common-control classes registered once at start-up, for the gadgets and the
// open-file dialog alike.
constexpr DWORD CommonControlClasses =
    ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES | ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;

// Destroying the control is enough: its WM_NCDESTROY empties the record.
void FreeGadget(ObjectId number) {
  if (GadgetRecord* gadget = GadgetLookup(number)) DestroyWindow(gadget->window);
}

// The control must be the very window of the gadget under its identifier, so a
// foreign child whose identifier happens to match a gadget's number is never handed
// to the gadget. That also says it carries "Vela_ID" equal to its identifier, which
// is not read here: every list notification passes this way, and reading a window
// property can cost a round trip to the window server.
LRESULT RouteNotification(NMHDR* header) {
  GadgetRecord* gadget = GadgetOfControl(header->hwndFrom);
  if (!gadget || !gadget->gadgetClass->notify) return NotHandled;
  return gadget->gadgetClass->notify(gadget, header);
}

HFONT ResolveFont(HFONT font) { return font == GadgetDefaultFont ? DefaultGadgetFont : font; }

// ---- Accessible names
// A screen reader asks a control for its accessible object with WM_GETOBJECT. The
// platform's own object names a control by its window text, which an image button
// cannot carry: the platform would draw it under the image. A gadget given a name
// answers with the platform's object wrapped, its name in place of the text's.
// The wrapper has every interface the platform's object has: the window and child
// enumeration interfaces that object offers are the wrapper's own, passed through,
// so that they lead back to the named object; any other is the platform object's.
class NamedAccessible final : public IAccessible, public IOleWindow, public IEnumVARIANT {
 public:
  NamedAccessible(IAccessible* standard, BSTR name) : standard_(standard), name_(name) {
    standard_->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window_));
    standard_->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&children_));
  }
  ~NamedAccessible() {
    if (window_) window_->Release();
    if (children_) children_->Release();
    standard_->Release();
    SysFreeString(name_);
  }
  NamedAccessible(const NamedAccessible&) = delete;
  NamedAccessible& operator=(const NamedAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (id == IID_IUnknown || id == IID_IDispatch || id == IID_IAccessible)
      *object = static_cast<IAccessible*>(this);
    else if (id == IID_IOleWindow && window_)
      *object = static_cast<IOleWindow*>(this);
    else if (id == IID_IEnumVARIANT && children_)
      *object = static_cast<IEnumVARIANT*>(this);
    else if (id != IID_IOleWindow && id != IID_IEnumVARIANT)
      return standard_->QueryInterface(id, object);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const auto left = static_cast<ULONG>(InterlockedDecrement(&references_));
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!name) return E_POINTER;
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return standard_->get_accName(child, name);
    *name = SysAllocString(name_);
    return *name ? S_OK : E_OUTOFMEMORY;
  }

  // Everything else is the platform's.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return standard_->GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return standard_->GetIDsOfNames(id, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT* wrong) override {
    return standard_->Invoke(member, id, locale, flags, parameters, result, exception, wrong);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    return standard_->get_accChild(child, object);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override { return standard_->get_accValue(child, value); }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return standard_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override { return standard_->get_accRole(child, role); }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return standard_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return standard_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return standard_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return standard_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override { return standard_->get_accSelection(children); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
    return standard_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override { return standard_->accHitTest(x, y, child); }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return standard_->accDoDefaultAction(child); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return standard_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return standard_->put_accValue(child, value);
  }

  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override { return window_->GetWindow(window); }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override { return window_->ContextSensitiveHelp(enter); }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* children, ULONG* fetched) override {
    return children_->Next(count, children, fetched);
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override { return children_->Skip(count); }
  HRESULT STDMETHODCALLTYPE Reset() override { return children_->Reset(); }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override { return children_->Clone(copy); }

 private:
  IAccessible* standard_;             // the platform's object for the control (owned reference)
  IOleWindow* window_ = nullptr;      // the same object's window interface, or null (owned reference)
  IEnumVARIANT* children_ = nullptr;  // the same object's child enumeration, or null (owned reference)
  BSTR name_;                         // owned
  LONG references_ = 1;
};

constexpr wchar_t AccessibleNameProperty[] = L"Vela_AccessibleName";

// The answer to WM_GETOBJECT for the control's client area; 0 leaves it to the platform.
LRESULT NamedAccessibleObject(HWND control, WPARAM wParam) {
  const auto* name = static_cast<const wchar_t*>(GetPropW(control, AccessibleNameProperty));
  IAccessible* standard = nullptr;
  if (!name || FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&standard))))
    return 0;
  BSTR copy = SysAllocString(name);
  auto* named = copy ? new (std::nothrow) NamedAccessible(standard, copy) : nullptr;
  if (!named) {
    SysFreeString(copy);
    standard->Release();
    return 0;
  }
  const LRESULT result = LresultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(named));
  named->Release();
  return result > 0 ? result : 0;
}

}  // namespace

bool GadgetInit() {
  DefaultGadgetFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  GadgetState = static_cast<GadgetContext*>(LibraryStateCreate(sizeof(GadgetContext)));
  if (!GadgetState) return false;
  GadgetState->currentFont = DefaultGadgetFont;
  GadgetState->table = ObjectTableCreate(sizeof(GadgetRecord), 50, FreeGadget);
  if (!GadgetState->table) return false;
  WindowsAttachGadgets(RouteNotification);
  INITCOMMONCONTROLSEX classes = {sizeof(INITCOMMONCONTROLSEX), CommonControlClasses};
  InitCommonControlsEx(&classes);
  return true;
}

void GadgetEnd() {}

GadgetRecord* GadgetAllocate(ObjectId number) {
  return static_cast<GadgetRecord*>(ObjectAllocate(GadgetState->table, number));
}

GadgetRecord* GadgetLookup(ObjectId number) {
  return static_cast<GadgetRecord*>(ObjectFind(GadgetState->table, number));
}

intptr_t GadgetRegister(ObjectId number, GadgetRecord* record, HWND window, const GadgetClass* gadgetClass) {
  record->window = window;
  const intptr_t answer = ObjectCreated(GadgetState->table, number, record);
  if (!answer) return 0;
  const ObjectId identifier = number == DynamicNumber ? answer : number;
  record->gadgetClass = gadgetClass;
  // The identifier is in place before GadgetProcedure sees the first message, so
  // that it never looks up a gadget under the control's provisional identifier.
  SetWindowLongPtrW(window, GWLP_ID, identifier);
  SetPropW(window, L"Vela_ID", reinterpret_cast<HANDLE>(identifier));
  record->previousProcedure =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GadgetProcedure)));
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GadgetState->currentFont), TRUE);
  return answer;
}

LRESULT CALLBACK GadgetProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  GadgetRecord* gadget = GadgetOfControl(window);
  if (!gadget) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_GETOBJECT && static_cast<DWORD>(lParam) == static_cast<DWORD>(OBJID_CLIENT))
    if (const LRESULT named = NamedAccessibleObject(window, wParam)) return named;

  LRESULT result = CallWindowProcW(gadget->previousProcedure, window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const ObjectId identifier = GetWindowLongPtrW(window, GWLP_ID);
    if (gadget->gadgetClass->free) gadget->gadgetClass->free(gadget);
    RemovePropW(window, L"Vela_ID");
    RuntimeFree(RemovePropW(window, AccessibleNameProperty));
    // A drop target registered on the control would be revoked here.
    SetWindowLongPtrW(window, GWLP_ID, -1);
    EventDiscardGadget(identifier);
    ObjectRelease(GadgetState->table, identifier);
  }
  return result;
}

GadgetRecord* GadgetOfControl(HWND control) {
  const ObjectId identifier = GetWindowLongPtrW(control, GWLP_ID);
  GadgetRecord* gadget = identifier == -1 ? nullptr : GadgetLookup(identifier);
  return gadget && gadget->window == control ? gadget : nullptr;
}

HWND GadgetTopWindow(HWND window) {
  HWND top = window;
  while (!GetPropW(top, L"Vela_WindowID")) {
    HWND parent = GetParent(top);
    if (!parent) break;
    top = parent;
  }
  return top;
}

intptr_t GadgetSetAccessibleName(ObjectId number, const wchar_t* name) {
  GadgetRecord* gadget = GadgetLookup(number);
  if (!gadget) return 0;
  HWND control = gadget->window;
  if (!name) {
    RuntimeFree(RemovePropW(control, AccessibleNameProperty));
    return 1;
  }
  void* previous = GetPropW(control, AccessibleNameProperty);
  const size_t bytes = (wcslen(name) + 1) * sizeof(wchar_t);
  void* copy = RuntimeAllocate(bytes);
  if (copy) memcpy(copy, name, bytes);
  if (!copy || !SetPropW(control, AccessibleNameProperty, copy)) {
    RuntimeFree(copy);
    return 0;
  }
  RuntimeFree(previous);
  return 1;
}

LRESULT GadgetSetFont(ObjectId number, HFONT font) {
  if (number == -1) {
    GadgetState->currentFont = ResolveFont(font);
    return 0;
  }
  GadgetRecord* gadget = GadgetLookup(number);
  if (!gadget) return 0;
  return SendMessageW(gadget->window, WM_SETFONT, reinterpret_cast<WPARAM>(ResolveFont(font)), TRUE);
}

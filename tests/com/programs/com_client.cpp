// A compiled COM client of QuandelSTK6.dll, for what scripts cannot show: by-reference shorts
// through IDispatch::Invoke, named arguments as VBA, Python and .NET pass them, DllCanUnloadNow with
// live objects and server locks, window messages dispatched while an exchange waits, the error
// information of a failing vtable call, and one session per apartment thread.
//
//   com_client.exe DLL_PATH PORT
// The simulated modem on PORT answers AT+CSQ only after 1.5 s, and every answer in pieces of 5 bytes
// (com_client.json): the Win32 serial reads put lines together as a real modem hands them over.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "check_support.hpp"

// clang-format off
#include <initguid.h>  // after windows.h: the GUIDs below are defined here
// clang-format on
#include "QuandelSTK6_h.h"

using check::Bstr;

namespace {

short port = 0;
HRESULT(STDAPICALLTYPE* can_unload_now)() = nullptr;

std::string Hex(HRESULT hr) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
  return buffer;
}

template <class Interface>
Interface* Create(REFCLSID clsid) {
  Interface* object = nullptr;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(Interface),
                                      reinterpret_cast<void**>(&object));
  check::That(SUCCEEDED(hr) && object, "CoCreateInstance (" + Hex(hr) + ")");
  return object;
}

// Calls a method through IDispatch, its arguments in natural order, or with the names given (in
// the order given).
HRESULT Invoke(IDispatch* object, const wchar_t* method, std::vector<VARIANT> args, VARIANT* result,
               std::vector<const wchar_t*> names = {}, EXCEPINFO* exception = nullptr) {
  std::vector<LPOLESTR> all = {const_cast<LPOLESTR>(method)};
  for (const wchar_t* name : names) all.push_back(const_cast<LPOLESTR>(name));
  std::vector<DISPID> ids(all.size(), DISPID_UNKNOWN);
  const HRESULT found = object->GetIDsOfNames(IID_NULL, all.data(), static_cast<UINT>(all.size()),
                                              LOCALE_USER_DEFAULT, ids.data());
  if (FAILED(found)) return found;
  if (names.empty()) std::reverse(args.begin(), args.end());
  DISPPARAMS params{args.data(), names.empty() ? nullptr : ids.data() + 1, static_cast<UINT>(args.size()),
                    static_cast<UINT>(names.size())};
  EXCEPINFO ignored{};
  VariantInit(result);
  return object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                        exception ? exception : &ignored, nullptr);
}

VARIANT Of(VARTYPE type, void* value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  if (type == VT_I2)
    V_I2(&v) = *static_cast<short*>(value);
  else if (type == VT_BSTR)
    V_BSTR(&v) = SysAllocString(static_cast<const wchar_t*>(value));
  else
    V_BYREF(&v) = value;  // VT_BYREF | VT_I2 or VT_BSTR: the caller's variable
  return v;
}
VARIANT ShortRef(short* value) {
  return Of(VT_I2 | VT_BYREF, value);
}
VARIANT BstrRef(BSTR* value) {
  return Of(VT_BSTR | VT_BYREF, value);
}
VARIANT ShortValue(short value) {
  return Of(VT_I2, &value);
}
VARIANT BstrValue(const wchar_t* text) {
  return Of(VT_BSTR, const_cast<wchar_t*>(text));
}  // caller clears

bool IsBool(const VARIANT& v, VARIANT_BOOL expected) {
  return V_VT(&v) == VT_BOOL && V_BOOL(&v) == expected;
}

void Shut(_Modem* modem) {
  VARIANT_BOOL closed = VARIANT_FALSE;
  modem->ShutDown(&closed);
}

void CheckUnloading(const wchar_t* dll_path) {
  HMODULE dll = LoadLibraryW(dll_path);
  if (dll)
    can_unload_now = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  check::That(can_unload_now != nullptr, "the DLL loads and exports DllCanUnloadNow");
  if (!can_unload_now) return;
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow before any object: S_OK");

  // One object of every class, released one by one, and a second reference to the SIMToolKit one:
  // the DLL may unload only when no reference is left.
  std::vector<IUnknown*> live = {Create<_Modem>(CLSID_Modem), Create<_SMS>(CLSID_SMS),
                                 Create<_SIMToolKit>(CLSID_SIMToolKit), Create<_USSD>(CLSID_USSD),
                                 Create<_Phonebook>(CLSID_Phonebook)};
  IUnknown* extra = nullptr;
  if (live[2]) live[2]->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&extra));
  for (std::size_t k = 0; k < live.size(); ++k) {
    check::Equal<HRESULT>(can_unload_now(), S_FALSE,
                          "DllCanUnloadNow with " + std::to_string(5 - k) + " objects");
    if (live[k]) live[k]->Release();
  }
  check::Equal<HRESULT>(can_unload_now(), S_FALSE,
                        "DllCanUnloadNow while a second reference is held: S_FALSE");
  if (extra) extra->Release();
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow after releasing every reference: S_OK");

  IClassFactory* factory = nullptr;
  CoGetClassObject(CLSID_Modem, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  check::That(factory != nullptr, "the class factory of Modem");
  if (!factory) return;
  IUnknown* object = nullptr;
  check::Equal<HRESULT>(factory->CreateInstance(reinterpret_cast<IUnknown*>(&object), IID_IUnknown,
                                                reinterpret_cast<void**>(&object)),
                        CLASS_E_NOAGGREGATION, "aggregation is refused");
  factory->LockServer(TRUE);
  factory->Release();
  check::Equal<HRESULT>(can_unload_now(), S_FALSE, "DllCanUnloadNow while the server is locked: S_FALSE");
  CoGetClassObject(CLSID_Modem, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow after the lock is undone: S_OK");
  FreeLibrary(dll);  // COM keeps the DLL loaded; this reference is ours to give back
}

void CheckByReference() {
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  _SMS* sms = Create<_SMS>(CLSID_SMS);
  if (!modem || !sms) return;
  VARIANT result;

  // FindCOMPort leaves the port closed; its arguments come back as they went in. A first port that
  // does not exist is skipped.
  short start = static_cast<short>(port - 1), end = port;
  HRESULT hr = Invoke(modem, L"FindCOMPort", {ShortRef(&start), ShortRef(&end)}, &result);
  check::That(
      SUCCEEDED(hr) && V_VT(&result) == VT_I2 && V_I2(&result) == port,
      "FindCOMPort(&start, &end) through IDispatch finds the port past a missing one (" + Hex(hr) + ")");
  check::That(start == port - 1 && end == port,
              "FindCOMPort hands its by-reference arguments back unchanged");
  VARIANT_BOOL closed = VARIANT_TRUE;
  modem->ShutDown(&closed);
  check::Equal<int>(closed, VARIANT_FALSE, "FindCOMPort left the port closed");

  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  check::Equal<int>(status, OK, "Init through the vtable with a null PIN string");

  // IsOnline with both arguments by reference: the call rings within the wait.
  Bstr number(L"+15550100456");
  BSTR number_text = number.get();
  short wait = 2;
  hr = Invoke(sms, L"IsOnline", {BstrRef(&number_text), ShortRef(&wait)}, &result);
  check::That(SUCCEEDED(hr) && IsBool(result, VARIANT_TRUE),
              "IsOnline(&number, &wait) through IDispatch (" + Hex(hr) + ")");
  check::That(wait == 2 && number_text == number.get(), "IsOnline hands its by-reference arguments back");

  // A by-reference short that is not a short: refused as a type mismatch, nothing dialled.
  VARIANT text_wait = BstrValue(L"soon");
  hr = Invoke(sms, L"IsOnline", {BstrRef(&number_text), text_wait}, &result);
  check::Equal<std::string>(Hex(hr), Hex(DISP_E_TYPEMISMATCH), "IsOnline with a wait that is no number");
  VariantClear(&text_wait);
  sms->Release();  // closes the port of this thread
  modem->Release();
}

// Window messages of the calling thread are dispatched while an exchange waits.
bool in_call = false;
int dispatched_in_call = 0;
int dispatched_outside = 0;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message != WM_APP + 1) return DefWindowProcW(window, message, w, l);
  (in_call ? dispatched_in_call : dispatched_outside)++;
  return 0;
}

void CheckMessagesDuringExchange() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QuandelSTK6TestWindow";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, nullptr);
  check::That(window != nullptr, "a message-only window (" + std::to_string(GetLastError()) + ")");
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  if (!window || !modem) return;
  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  PostMessageW(window, WM_APP + 1, 0, 0);
  PostQuitMessage(7);  // must survive for the host's own loop
  short level = -1;
  in_call = true;
  const HRESULT hr = modem->SignalStrength(&level);  // answered 1.5 s late
  in_call = false;
  check::That(status == OK && SUCCEEDED(hr) && level == 2, "Init, then SignalStrength through the vtable: 2");
  check::Equal(dispatched_in_call, 1, "the posted message was dispatched during the exchange");
  check::Equal(dispatched_outside, 0, "and not after it");
  MSG msg{};
  check::That(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 7,
              "WM_QUIT is left for the host's loop");
  Shut(modem);
  modem->Release();
  DestroyWindow(window);
}

void CheckErrorInformation() {
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  if (!modem) return;
  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  Shut(modem);
  // GetIMSI has no trap: the closed port reaches the caller as the automation error 8012.
  Bstr imsi;
  const HRESULT hr = modem->GetIMSI(imsi.Out());
  check::Equal<std::string>(Hex(hr), Hex(0x800A0000 + 8012), "GetIMSI on a closed port");
  ISupportErrorInfo* support = nullptr;
  modem->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
  check::That(support && support->InterfaceSupportsErrorInfo(IID__Modem) == S_OK,
              "ISupportErrorInfo for _Modem");
  if (support) support->Release();
  IErrorInfo* info = nullptr;
  check::That(GetErrorInfo(0, &info) == S_OK && info, "the error information is set");
  if (info) {
    Bstr description, source;
    info->GetDescription(description.Out());
    info->GetSource(source.Out());
    check::That(description.str().find(L"Port not open") == 0,
                "its description: \"" + check::Narrow(description.str()) + "\"");
    check::Equal(source.str(), std::wstring(L"QuandelSTK6.Modem"), "its source");
    info->Release();
  }
  // Through IDispatch the same error comes as an exception with its code and description.
  EXCEPINFO exception{};
  VARIANT result;
  check::Equal<std::string>(Hex(Invoke(modem, L"GetIMSI", {}, &result, {}, &exception)),
                            Hex(DISP_E_EXCEPTION), "GetIMSI through IDispatch: an exception");
  check::Equal<std::string>(Hex(exception.scode), Hex(0x800A0000 + 8012),
                            "with the automation error of 8012");
  check::That(
      exception.bstrDescription && std::wstring(exception.bstrDescription).find(L"Port not open") == 0,
      "and its description");
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  modem->Release();
}

// Named arguments (VBA's "sNumber:=", Python's keywords, .NET's dynamic calls) go to the parameters
// they name, in any order; the omitted optional ones around them get their defaults as in a
// positional call. Against a closed port first: the methods answer False instead of failing.
void CheckNamedArguments() {
  _SMS* sms = Create<_SMS>(CLSID_SMS);
  if (!sms) return;
  Bstr number(L"123");
  BSTR number_text = number.get();
  short wait = 0;
  struct {
    const char* what;
    const wchar_t* method;
    std::vector<const wchar_t*> names;
    std::vector<VARIANT> args;
  } closed[] = {
      {"IsOnline(sNumber:=\"123\")", L"IsOnline", {L"sNumber"}, {BstrValue(L"123")}},
      {"IsOnline(iWait_Second:=0, sNumber:=number) by reference",
       L"IsOnline",
       {L"iWait_Second", L"sNumber"},
       {ShortRef(&wait), BstrRef(&number_text)}},
      {"SendSMS(strMsg:=\"hello\")", L"SendSMS", {L"strMsg"}, {BstrValue(L"hello")}},
      {"SendSMS(strMsg:=\"hello\", strHP:=\"123\")",
       L"SendSMS",
       {L"strMsg", L"strHP"},
       {BstrValue(L"hello"), BstrValue(L"123")}},
  };
  for (auto& c : closed) {
    VARIANT result;
    const HRESULT hr = Invoke(sms, c.method, c.args, &result, c.names);
    check::That(hr == S_OK && IsBool(result, VARIANT_FALSE),
                std::string(c.what) + " on a closed port: False (" + Hex(hr) + ")");
    for (VARIANT& v : c.args) VariantClear(&v);
  }
  check::That(number_text == number.get() && wait == 0,
              "the named by-reference arguments come back unchanged");

  // What DispInvoke would refuse is refused the same way, with nothing called.
  struct {
    const char* what;
    const wchar_t* method;
    std::vector<DISPID> named;
    HRESULT expected;
  } refused[] = {
      {"SendSMSText(strMessage:=) without its number", L"SendSMSText", {1}, DISP_E_BADPARAMCOUNT},
      {"SendSMS with a named argument that is no parameter", L"SendSMS", {5}, DISP_E_PARAMNOTFOUND},
      {"SendSMS with the return value named", L"SendSMS", {2}, DISP_E_PARAMNOTFOUND},
      {"SendSMS with one parameter named twice", L"SendSMS", {1, 1}, DISP_E_PARAMNOTFOUND},
  };
  for (auto& c : refused) {
    std::vector<VARIANT> values(c.named.size());
    for (VARIANT& v : values) v = BstrValue(L"x");
    DISPPARAMS params{values.data(), c.named.data(), static_cast<UINT>(values.size()),
                      static_cast<UINT>(values.size())};
    LPOLESTR name = const_cast<LPOLESTR>(c.method);
    DISPID id = DISPID_UNKNOWN;
    sms->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ignored{};
    check::Equal<std::string>(Hex(sms->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                              &result, &ignored, nullptr)),
                              Hex(c.expected), c.what);
    for (VARIANT& v : values) VariantClear(&v);
  }

  // Every argument named, out of order: the same entry as the positional call writes.
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  _Phonebook* book = Create<_Phonebook>(CLSID_Phonebook);
  if (modem && book) {
    InitStatus status = Fail;
    modem->Init(port, nullptr, &status);
    VARIANT result;
    std::vector<VARIANT> args = {BstrValue(L"Named Entry"), ShortValue(2), BstrValue(L"+15550100222")};
    const HRESULT hr =
        Invoke(book, L"PhonebookWrite", args, &result, {L"strName", L"intLocation", L"strNumber"});
    check::That(status == OK && hr == S_OK && IsBool(result, VARIANT_TRUE),
                "PhonebookWrite(strName:=, intLocation:=2, strNumber:=) (" + Hex(hr) + ")");
    for (VARIANT& v : args) VariantClear(&v);
    VARIANT_BOOL read = VARIANT_FALSE;
    book->PhonebookRead(2, &read);
    Bstr written_number, written_name;
    book->get_PhonebookNumber(written_number.Out());
    book->get_PhonebookName(written_name.Out());
    check::That(read == VARIANT_TRUE && written_number.str() == L"+15550100222" &&
                    written_name.str() == L"Named Entry",
                "the entry reads back with its number and name where they were named");
    Shut(modem);
  }
  if (book) book->Release();
  if (modem) modem->Release();
  sms->Release();
}

// Each apartment thread has its own session: a port open on one is closed on the other, and a
// second open of the same port fails at the port.
void CheckSecondThread() {
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  if (!modem) return;
  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  check::Equal<int>(status, OK, "Init on the first thread");
  short other_level = 0;
  int other_status = -1;
  std::thread other([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    _Modem* own = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_Modem, nullptr, CLSCTX_INPROC_SERVER, IID__Modem,
                                   reinterpret_cast<void**>(&own)))) {
      own->SignalStrength(&other_level);
      InitStatus s = OK;
      own->Init(port, nullptr, &s);
      other_status = s;
      own->Release();
    }
    CoUninitialize();
  });
  other.join();
  check::Equal<int>(other_level, -1, "a second thread finds its own port closed");
  check::Equal<int>(other_status, Fail, "and cannot open the port the first thread holds");
  short level = -1;
  modem->SignalStrength(&level);
  check::Equal<int>(level, 2, "the first thread's port is still open");
  Shut(modem);
  modem->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: com_client DLL_PATH PORT\n");
    return 2;
  }
  port = static_cast<short>(std::wcstol(argv[2], nullptr, 10));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CheckUnloading(argv[1]);
  CheckByReference();
  CheckMessagesDuringExchange();
  CheckErrorInformation();
  CheckNamedArguments();
  CheckSecondThread();
  if (can_unload_now) check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow at the end: S_OK");
  CoUninitialize();
  return check::Finish("com_client");
}

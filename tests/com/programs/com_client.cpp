// A compiled COM client of QuandelSTK6.dll, for what scripts cannot show: by-reference shorts
// through IDispatch::Invoke, named arguments as VBA, Python and .NET pass them, DllCanUnloadNow with live objects and server locks, window messages
// dispatched while an exchange waits, the error information of a failing vtable call, and one
// session per apartment thread.
//
//   com_client.exe DLL_PATH PORT
// The simulated modem on PORT answers AT+CSQ only after 1.5 s.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "check_support.hpp"

#include <initguid.h>

#include "QuandelSTK6_h.h"

using check::Bstr;

namespace {

short port = 0;
HRESULT (STDAPICALLTYPE* can_unload_now)() = nullptr;

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

DISPID IdOf(IDispatch* object, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  return id;
}

// Calls a method through IDispatch with the arguments in natural order.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::initializer_list<VARIANT> args, VARIANT* result,
                   EXCEPINFO* exception = nullptr) {
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO ignored{};
  VariantInit(result);
  return object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                        exception ? exception : &ignored, nullptr);
}

VARIANT ShortRef(short* value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I2 | VT_BYREF;
  V_I2REF(&v) = value;
  return v;
}

VARIANT BstrRef(BSTR* value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR | VT_BYREF;
  V_BSTRREF(&v) = value;
  return v;
}

// Calls a method through IDispatch with named arguments only, in the order given.
HRESULT CallNamed(IDispatch* object, const wchar_t* method, const std::vector<const wchar_t*>& names,
                  std::vector<VARIANT> args, VARIANT* result) {
  std::vector<LPOLESTR> all = {const_cast<LPOLESTR>(method)};
  for (const wchar_t* name : names) all.push_back(const_cast<LPOLESTR>(name));
  std::vector<DISPID> ids(all.size(), DISPID_UNKNOWN);
  const HRESULT named = object->GetIDsOfNames(IID_NULL, all.data(), static_cast<UINT>(all.size()),
                                              LOCALE_USER_DEFAULT, ids.data());
  if (FAILED(named)) return named;
  DISPPARAMS params{args.data(), ids.data() + 1, static_cast<UINT>(args.size()), static_cast<UINT>(args.size())};
  EXCEPINFO ignored{};
  VariantInit(result);
  return object->Invoke(ids[0], IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &ignored,
                        nullptr);
}

VARIANT ShortValue(short value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I2;
  V_I2(&v) = value;
  return v;
}

// A BSTR argument; the caller clears it.
VARIANT BstrValue(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(text);
  return v;
}

void CheckUnloading(const wchar_t* dll_path) {
  HMODULE dll = LoadLibraryW(dll_path);
  check::That(dll != nullptr, "the DLL loads");
  if (!dll) return;
  can_unload_now = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
  check::That(can_unload_now != nullptr, "DllCanUnloadNow is exported");
  if (!can_unload_now) return;
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow before any object: S_OK");

  // One object of every class, released one by one: the DLL may unload only when none is left.
  struct Live {
    const char* name;
    IUnknown* object;
  };
  std::vector<Live> live = {{"Modem", Create<_Modem>(CLSID_Modem)},
                            {"SMS", Create<_SMS>(CLSID_SMS)},
                            {"SIMToolKit", Create<_SIMToolKit>(CLSID_SIMToolKit)},
                            {"USSD", Create<_USSD>(CLSID_USSD)},
                            {"Phonebook", Create<_Phonebook>(CLSID_Phonebook)}};
  check::Equal<HRESULT>(can_unload_now(), S_FALSE, "DllCanUnloadNow with an object of each class: S_FALSE");
  // A second reference to one object keeps it alive after its first release.
  IUnknown* extra = nullptr;
  if (live[2].object) live[2].object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&extra));
  for (std::size_t k = 0; k < live.size(); ++k) {
    if (live[k].object) live[k].object->Release();
    const bool last = k + 1 == live.size();
    check::Equal<HRESULT>(can_unload_now(), S_FALSE,
                          std::string("DllCanUnloadNow after releasing the ") + live[k].name +
                              " object: S_FALSE" + (last ? " (a second reference is held)" : ""));
  }
  if (extra) extra->Release();
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow after releasing every reference: S_OK");

  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(CLSID_Modem, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  check::That(SUCCEEDED(hr) && factory, "the class factory of Modem");
  if (!factory) return;
  factory->LockServer(TRUE);
  factory->Release();
  check::Equal<HRESULT>(can_unload_now(), S_FALSE, "DllCanUnloadNow while the server is locked: S_FALSE");
  IUnknown* object = nullptr;
  check::Equal<HRESULT>(CoCreateInstance(CLSID_Modem, reinterpret_cast<IUnknown*>(&object), CLSCTX_INPROC_SERVER,
                                         IID_IUnknown, reinterpret_cast<void**>(&object)),
                        CLASS_E_NOAGGREGATION, "aggregation is refused");
  CoGetClassObject(CLSID_Modem, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow after the lock is undone: S_OK");
  // The DLL stays loaded by COM; this reference is ours to give back.
  FreeLibrary(dll);
}

void CheckByReference() {
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  _SMS* sms = Create<_SMS>(CLSID_SMS);
  if (!modem || !sms) return;
  IDispatch* modem_dispatch = modem;
  VARIANT result;

  // FindCOMPort leaves the port closed; its arguments come back as they went in.
  short start = port, end = port;
  HRESULT hr = CallByName(modem_dispatch, L"FindCOMPort", {ShortRef(&start), ShortRef(&end)}, &result);
  check::That(SUCCEEDED(hr) && V_VT(&result) == VT_I2 && V_I2(&result) == port,
              "FindCOMPort(&start, &end) through IDispatch finds the port (" + Hex(hr) + ")");
  check::That(start == port && end == port, "FindCOMPort hands its by-reference arguments back unchanged");
  VARIANT_BOOL closed = VARIANT_TRUE;
  modem->ShutDown(&closed);
  check::Equal<int>(closed, VARIANT_FALSE, "FindCOMPort left the port closed");

  // A range whose first port does not exist: skipped, the modem is found further on.
  short below = static_cast<short>(port - 1), upto = port;
  hr = CallByName(modem_dispatch, L"FindCOMPort", {ShortRef(&below), ShortRef(&upto)}, &result);
  check::That(SUCCEEDED(hr) && V_I2(&result) == port, "FindCOMPort skips a port that does not exist");

  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  check::Equal<int>(status, OK, "Init through the vtable with a null PIN string");

  // IsOnline with both arguments by reference: the call is answered within the wait.
  Bstr number(L"+15550100456");
  BSTR number_text = number.get();
  short wait = 5;
  const DWORD before = GetTickCount();
  hr = CallByName(sms, L"IsOnline", {BstrRef(&number_text), ShortRef(&wait)}, &result);
  const DWORD took = GetTickCount() - before;
  check::That(SUCCEEDED(hr) && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE,
              "IsOnline(&number, &wait) through IDispatch: the number answers (" + Hex(hr) + ")");
  check::That(took >= 5000 && took < 9000, "IsOnline waited the 5 seconds passed by reference (" +
                                               std::to_string(took) + " ms)");
  check::That(wait == 5 && number_text == number.get() && std::wstring(number_text) == L"+15550100456",
              "IsOnline hands its by-reference arguments back");

  // A by-reference short that is not a short: refused as a type mismatch, nothing dialled.
  VARIANT text_wait;
  VariantInit(&text_wait);
  V_VT(&text_wait) = VT_BSTR;
  V_BSTR(&text_wait) = SysAllocString(L"soon");
  hr = CallByName(sms, L"IsOnline", {BstrRef(&number_text), text_wait}, &result);
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
  if (message == WM_APP + 1) {
    (in_call ? dispatched_in_call : dispatched_outside)++;
    return 0;
  }
  return DefWindowProcW(window, message, w, l);
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
  if (!window) return;

  _Modem* modem = Create<_Modem>(CLSID_Modem);
  if (!modem) return;
  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  check::Equal<int>(status, OK, "Init");

  PostMessageW(window, WM_APP + 1, 0, 0);
  PostQuitMessage(7);  // must survive for the host's own loop
  short level = -1;
  in_call = true;
  const DWORD before = GetTickCount();
  const HRESULT hr = modem->SignalStrength(&level);
  const DWORD took = GetTickCount() - before;
  in_call = false;
  check::That(SUCCEEDED(hr) && level == 2, "SignalStrength through the vtable: 2");
  check::That(took >= 1400, "the exchange waited for the slow answer (" + std::to_string(took) + " ms)");
  check::Equal(dispatched_in_call, 1, "the posted message was dispatched during the exchange");
  check::Equal(dispatched_outside, 0, "and not after it");
  MSG msg{};
  const bool quit = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 7;
  check::That(quit, "WM_QUIT is left for the host's loop");

  VARIANT_BOOL closed = VARIANT_FALSE;
  modem->ShutDown(&closed);
  check::Equal<int>(closed, VARIANT_TRUE, "ShutDown");
  modem->Release();
  DestroyWindow(window);
}

void CheckErrorInformation() {
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  if (!modem) return;
  InitStatus status = Fail;
  modem->Init(port, nullptr, &status);
  VARIANT_BOOL ok = VARIANT_FALSE;
  modem->ShutDown(&ok);

  // GetIMSI has no trap: the closed port reaches the caller as the automation error 8012.
  Bstr imsi;
  const HRESULT hr = modem->GetIMSI(imsi.Out());
  check::Equal<std::string>(Hex(hr), Hex(static_cast<HRESULT>(0x800A0000 + 8012)), "GetIMSI on a closed port");
  ISupportErrorInfo* support = nullptr;
  modem->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
  check::That(support && support->InterfaceSupportsErrorInfo(IID__Modem) == S_OK, "ISupportErrorInfo for _Modem");
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
  const HRESULT dispatched = CallByName(modem, L"GetIMSI", {}, &result, &exception);
  check::Equal<std::string>(Hex(dispatched), Hex(DISP_E_EXCEPTION), "GetIMSI through IDispatch: an exception");
  check::Equal<std::string>(Hex(exception.scode), Hex(static_cast<HRESULT>(0x800A0000 + 8012)),
                            "with the automation error of 8012");
  check::That(exception.bstrDescription && std::wstring(exception.bstrDescription).find(L"Port not open") == 0,
              "and its description");
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  modem->Release();
}

// Texts cross as the system ANSI code page: what it holds comes back, the rest as its "?".
void CheckText() {
  _SMS* sms = Create<_SMS>(CLSID_SMS);
  if (!sms) return;
  Bstr in(L"caf\u00E9 \u20AC \u03A9"), out;
  sms->put_MN(in.get());
  sms->get_MN(out.Out());
  check::Equal(out.str(), std::wstring(L"caf\u00E9 \u20AC ?"),
               "MN round trip through the ANSI code page " + std::to_string(GetACP()));
  VARIANT seven = ShortValue(7), back;
  VariantInit(&back);
  sms->put_ToMessage(seven);
  sms->get_ToMessage(&back);
  check::That(V_VT(&back) == VT_I2 && V_I2(&back) == 7, "ToMessage keeps a short as a short");
  sms->Release();
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
      {"IsOnline(sNumber:=number) by reference", L"IsOnline", {L"sNumber"}, {BstrRef(&number_text)}},
      {"IsOnline(iWait_Second:=0, sNumber:=number)", L"IsOnline", {L"iWait_Second", L"sNumber"},
       {ShortRef(&wait), BstrRef(&number_text)}},
      {"SendSMS(strMsg:=\"hello\")", L"SendSMS", {L"strMsg"}, {BstrValue(L"hello")}},
      {"SendSMS(strHP:=\"123\")", L"SendSMS", {L"strHP"}, {BstrValue(L"123")}},
      {"SendSMS(strMsg:=\"hello\", strHP:=\"123\")", L"SendSMS", {L"strMsg", L"strHP"},
       {BstrValue(L"hello"), BstrValue(L"123")}},
  };
  for (const auto& c : closed) {
    VARIANT result;
    const HRESULT hr = CallNamed(sms, c.method, c.names, c.args, &result);
    check::That(hr == S_OK && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_FALSE,
                std::string(c.what) + " on a closed port: False (" + Hex(hr) + ")");
    for (VARIANT v : c.args) VariantClear(&v);
  }
  check::That(number_text == number.get() && wait == 0, "the named by-reference arguments come back unchanged");

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
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO ignored{};
    const HRESULT hr = sms->Invoke(IdOf(sms, c.method), IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                   &result, &ignored, nullptr);
    check::Equal<std::string>(Hex(hr), Hex(c.expected), c.what);
    for (VARIANT& v : values) VariantClear(&v);
  }

  // Every argument named, out of order: the same entry as the positional call writes.
  _Modem* modem = Create<_Modem>(CLSID_Modem);
  _Phonebook* book = Create<_Phonebook>(CLSID_Phonebook);
  if (modem && book) {
    InitStatus status = Fail;
    modem->Init(port, nullptr, &status);
    check::Equal<int>(status, OK, "Init");
    VARIANT result;
    VARIANT name = BstrValue(L"Named Entry"), location = ShortValue(2), entry = BstrValue(L"+15550100222");
    HRESULT hr = CallNamed(book, L"PhonebookWrite", {L"strName", L"intLocation", L"strNumber"},
                           {name, location, entry}, &result);
    check::That(hr == S_OK && V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_TRUE,
                "PhonebookWrite(strName:=, intLocation:=2, strNumber:=) (" + Hex(hr) + ")");
    VARIANT_BOOL read = VARIANT_FALSE;
    book->PhonebookRead(2, &read);
    Bstr written_number, written_name;
    book->get_PhonebookNumber(written_number.Out());
    book->get_PhonebookName(written_name.Out());
    check::That(read == VARIANT_TRUE, "the entry written with named arguments reads back");
    check::Equal(written_number.str(), std::wstring(L"+15550100222"), "its number went to strNumber");
    check::Equal(written_name.str(), std::wstring(L"Named Entry"), "its name went to strName");
    VariantClear(&name);
    VariantClear(&entry);
    VARIANT_BOOL closed_port = VARIANT_FALSE;
    modem->ShutDown(&closed_port);
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
  VARIANT_BOOL closed = VARIANT_FALSE;
  modem->ShutDown(&closed);
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
  CheckText();
  CheckNamedArguments();
  CheckSecondThread();
  if (can_unload_now) check::Equal<HRESULT>(can_unload_now(), S_OK, "DllCanUnloadNow at the end: S_OK");
  CoUninitialize();
  return check::Finish("com_client");
}

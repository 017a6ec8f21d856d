// Loads the registered QuandelSTK6 type library and compares it with the table below, which is
// written out by hand from what hosts are promised: the library's identity, the order of its
// types, every enumeration, and for every interface its flags, its members in vtable slot order
// with DISPIDs, kinds, parameters (flags, types, defaults) and documentation strings, and the
// classes this build provides.
#include <cstring>
#include <string>
#include <vector>

#include "check_support.hpp"

using check::Bstr;

namespace {

const GUID kLibrary = {0x42534619, 0x0132, 0x4DD5, {0xB1, 0x6C, 0xDB, 0xB1, 0xD6, 0xE2, 0xB1, 0xA9}};

struct Enumeration {
  const wchar_t* name;
  GUID guid;
  std::vector<std::pair<const wchar_t*, int>> values;
};

const std::vector<Enumeration> kEnumerations = {
    {L"STKStatus",
     {0x9AB6326C, 0x31BC, 0x4324, {0x8C, 0x8F, 0x4D, 0x12, 0x7A, 0xC9, 0x0D, 0xB9}},
     {{L"STKMainMenu", 0}, {L"STKResponse", 1}, {L"STKInputRequest", 3}, {L"STKSubMenu", 6}, {L"STKSMSSent", 9},
      {L"STKTimeOut", 98}, {L"STKSessionEnd", 99}, {L"STKUnknown", 100}}},
    {L"DeliveryStatus",
     {0xB3EBA1F2, 0x96B8, 0x47FD, {0x87, 0x17, 0xE6, 0xB5, 0x4E, 0x9A, 0x2F, 0x90}},
     {{L"Undelivered", 0}, {L"Delivered", 1}, {L"Unknown", 2}}},
    {L"InitStatus",
     {0x98A2411E, 0xC566, 0x4BD6, {0xB5, 0x31, 0x6F, 0x03, 0xC7, 0x80, 0x73, 0xD4}},
     {{L"Fail", 0}, {L"OK", 1}, {L"PINRequired", 2}, {L"PINWrong", 3}, {L"SIMBlocked", 4}, {L"SIMError", 5}}},
};

constexpr WORD kInterfaceFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                 TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

enum Kind { kMethod, kGet, kPut, kPutRef };

struct Member {
  int slot;  // 1 = the first slot after IDispatch's seven
  Kind kind;
  DISPID id;
  // Name and parameters as "[flags] type name", the result as "[out, retval] type Result".
  std::wstring signature;
  const wchar_t* doc = L"";
};

// A property's accessors from this slot on: put (and putref, when asked), then get.
struct Property {
  DISPID id;
  const wchar_t* name;
  const wchar_t* type;
  bool by_ref = false;
};
std::vector<Member> Properties(int slot, std::initializer_list<Property> properties) {
  std::vector<Member> members;
  for (const Property& p : properties) {
    const std::wstring name = p.name, type = p.type;
    members.push_back({slot++, kPut, p.id, name + L"([in] " + type + L" rhs)"});
    if (p.by_ref) members.push_back({slot++, kPutRef, p.id, name + L"([in] " + type + L" rhs)"});
    members.push_back({slot++, kGet, p.id, name + L"([out, retval] " + type + L"* rhs)"});
  }
  return members;
}
std::vector<Member> operator+(std::vector<Member> a, const std::vector<Member>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Interface {
  const wchar_t* name;
  GUID iid;
  const wchar_t* class_name;
  GUID clsid;
  bool built;  // the build provides the class
  std::vector<Member> members;
};

#define CRLF L"\r\n"

#ifdef QSTK_COCLASS_SIMTOOLKIT
constexpr bool kSIMToolKitBuilt = true;
#else
constexpr bool kSIMToolKitBuilt = false;
#endif
#ifdef QSTK_COCLASS_PHONEBOOK
constexpr bool kPhonebookBuilt = true;
#else
constexpr bool kPhonebookBuilt = false;
#endif
#ifdef QSTK_COCLASS_MODEM
constexpr bool kModemBuilt = true;
#else
constexpr bool kModemBuilt = false;
#endif
#ifdef QSTK_COCLASS_USSD
constexpr bool kUSSDBuilt = true;
#else
constexpr bool kUSSDBuilt = false;
#endif
#ifdef QSTK_COCLASS_SMS
constexpr bool kSMSBuilt = true;
#else
constexpr bool kSMSBuilt = false;
#endif

const wchar_t* const kMenuSelectDoc[] = {
    L"To select an item in main menu of STK." CRLF L"Return value is:" CRLF L"= True if successfully submitted." CRLF
    L"= False if not.",
    L"To select an item in sub menu of STK." CRLF L"Return value is:" CRLF L"= True if successfully submitted." CRLF
    L"= False if not."};

const std::vector<Interface> kInterfaces = {
    {L"_SIMToolKit",
     {0x6A2CA489, 0x5D65, 0x4696, {0xA3, 0xEA, 0x8D, 0x88, 0xA9, 0xFF, 0xE6, 0x53}},
     L"SIMToolKit",
     {0x605EFAF8, 0x2E21, 0x4E70, {0xB3, 0x76, 0x06, 0x00, 0xD3, 0xC8, 0x26, 0xEE}},
     kSIMToolKitBuilt,
     Properties(1, {{0x68030003, L"SubMenuList", L"BSTR"},
                    {0x68030002, L"SubMenuName", L"BSTR"},
                    {0x68030001, L"MainMenuList", L"BSTR"},
                    {0x68030000, L"MainMenuName", L"BSTR"}}) +
     std::vector<Member>{
         {9, kMethod, 0x60030004, L"STKStatusGet([out, retval] STKStatus* Result)",
          L"To get the status of STK." CRLF
          L"Return values is an integer representing status. The description of each status is as per STKStatus "
          L"describe below:" CRLF
          L"    STKMainMenu = 0 (STK has a main menu to show to user)" CRLF
          L"    STKResponse = 1 (STK has a response to user's input)" CRLF
          L"    STKInputRequest = 3 (STK has a request to user for input)" CRLF
          L"    STKSubMenu = 6 (STK has a sub menu to show to user)" CRLF
          L"    STKSMSSent = 9 (STK has sent out a SMS)" CRLF
          L"    STKTimeOut = 98 (STK time out)" CRLF
          L"    STKSessionEnd = 99 (STK session ends)" CRLF
          L"    STKUnknown = 100 (Unknwn status)" CRLF},
         {10, kMethod, 0x60030005, L"MainMenuDisplay([out, retval] VARIANT_BOOL* Result)",
          L"To get main menu from STK. If return value is true, then get the following properties:" CRLF
          L"- MainMenuName" CRLF L"- MainMenuList" CRLF
          L"Call this function only if STKStatus = STKMainMenu or ActivateSTK = True"},
         {11, kMethod, 0x60030006, L"MainMenuSelect([in] short ItemSelect, [out, retval] VARIANT_BOOL* Result)",
          kMenuSelectDoc[0]},
         {12, kMethod, 0x60030007, L"SubMenuDisplay([out, retval] VARIANT_BOOL* Result)",
          L"To get sub menu from STK. If return value is true, then get the following properties:" CRLF
          L"- SubMenuName" CRLF L"- SubMenuList" CRLF L"Call this function only if STKStatus = STKSubMenu"},
         {13, kMethod, 0x60030008, L"SubMenuSelect([in] short ItemSelect, [out, retval] VARIANT_BOOL* Result)",
          kMenuSelectDoc[1]},
         {14, kMethod, 0x60030009, L"InputRequestDisplay([out, retval] BSTR* Result)",
          L"To display the request by STK for user input." CRLF
          L"Call this function only if STKStatus = STKRequestInput"},
         {15, kMethod, 0x6003000A, L"InputSubmit([in] BSTR UserInputSubmit, [out, retval] VARIANT_BOOL* Result)",
          L"To submit user input to STK." CRLF L"Use this only after calling InputRequestDisplay()." CRLF
          L"Return value is:" CRLF L"= TRUE if the submission is sucessful." CRLF L"= FALSE if not."},
         {16, kMethod, 0x6003000B, L"ResponseDisplay([out, retval] BSTR* Result)",
          L"To display STK response after user has sucessfully submitted an input." CRLF
          L"Call this function only if  STKStatus = STKResponse."},
         {17, kMethod, 0x6003000C, L"SMSSentDisplay([out, retval] BSTR* Result)",
          L"To display the outgoing SMS sent by STK." CRLF L"Call this function only if  STKStatus = STKSMSSent"},
         {18, kMethod, 0x6003000D, L"ActivateSTK([out, retval] VARIANT_BOOL* Result)",
          L"To turn on the SIM Tool Kit." CRLF L"Return value is:" CRLF L"= TRUE if activated" CRLF
          L"= FALSE if not"},
         {19, kMethod, 0x6003000E, L"CloseSTK([out, retval] VARIANT_BOOL* Result)",
          L"To end the STK session." CRLF L"Return value is" CRLF L"= TRUE if successfully ended" CRLF
          L"= FALSE if not" CRLF},
         {20, kMethod, 0x6003000F, L"DeactivateSTK([out, retval] VARIANT_BOOL* Result)",
          L"To deactivate the SIM Tool Kit." CRLF L"Return value is" CRLF L"= TRUE if successful" CRLF
          L"= FALSE if not"},
     }},
    {L"_Phonebook",
     {0x0D85F9F0, 0xA587, 0x4F73, {0xB3, 0x13, 0x09, 0xDD, 0x48, 0x99, 0xD6, 0x23}},
     L"Phonebook",
     {0xB2B815AD, 0x224B, 0x4A05, {0x92, 0x04, 0xC9, 0xC2, 0x00, 0x4C, 0x42, 0xD9}},
     kPhonebookBuilt,
     {
         {1, kPut, 0x68030001, L"PhonebookNumber([in] BSTR rhs)", L"The mobile number stored in the phonebook."},
         {2, kGet, 0x68030001, L"PhonebookNumber([out, retval] BSTR* rhs)",
          L"The mobile number stored in the phonebook."},
         {3, kPut, 0x68030000, L"PhonebookName([in] BSTR rhs)", L"The name stored in phonebook."},
         {4, kGet, 0x68030000, L"PhonebookName([out, retval] BSTR* rhs)", L"The name stored in phonebook."},
         {5, kMethod, 0x60030003, L"TotalSpace([out, retval] short* Result)",
          L"Check total memory space." CRLF L"Return value is integer. If there is error, it returns \"-1\"" CRLF},
         {6, kMethod, 0x60030004, L"TotalUsed([out, retval] short* Result)",
          L"Check total memory used." CRLF L"Return value is integer. If there is error, it returns \"-1\""},
         {7, kMethod, 0x60030005, L"PhonebookDelete([in] short intLocation, [out, retval] VARIANT_BOOL* Result)",
          L"Delete phonebook entry." CRLF L"Return value is" CRLF L"= True if deleted" CRLF
          L"= False if cannot be deleted" CRLF},
         {8, kMethod, 0x60030006,
          L"PhonebookWrite([in] short intLocation, [in] BSTR strNumber, [in] BSTR strName, "
          L"[out, retval] VARIANT_BOOL* Result)",
          L"Write phonebook entry." CRLF L"Return value is" CRLF L"= TRUE if written" CRLF
          L"= FALSE if cannot be written"},
         {9, kMethod, 0x60030007, L"PhonebookRead([in] short intLocation, [out, retval] VARIANT_BOOL* Result)",
          L"Read phonebook entry." CRLF L"Return value is" CRLF L"= True if read" CRLF L"= False if cannot be read" CRLF},
     }},
    {L"_Modem",
     {0x436B5CF9, 0x8D4E, 0x4E44, {0xA0, 0x5D, 0xBA, 0x3E, 0x0C, 0xC7, 0x01, 0xAC}},
     L"Modem",
     {0x702C7233, 0x83BC, 0x4189, {0xA5, 0x43, 0x29, 0xE0, 0xD8, 0x2C, 0x5A, 0x2C}},
     kModemBuilt,
     {
         {1, kMethod, 0x60030000, L"Init([in] short intPort, [in, optional] BSTR PIN, [out, retval] InitStatus* Result)"},
         {2, kMethod, 0x60030001, L"ShutDown([out, retval] VARIANT_BOOL* Result)"},
         {3, kMethod, 0x60030002, L"Reboot([out, retval] VARIANT_BOOL* Result)"},
         {4, kMethod, 0x60030003, L"SignalStrength([out, retval] short* Result)"},
         {5, kMethod, 0x60030004, L"OperatorName([out, retval] BSTR* Result)"},
         {6, kMethod, 0x60030005,
          L"FindCOMPort([in, out] short* iStart, [in, out] short* iEnd, [out, retval] short* Result)"},
         {7, kMethod, 0x60030006, L"IsConnectToGSM([out, retval] VARIANT_BOOL* Result)"},
         {8, kMethod, 0x60030007, L"GetIMSI([out, retval] BSTR* Result)"},
         {9, kMethod, 0x60030008, L"GetMSISDN([out, retval] BSTR* Result)"},
     }},
    {L"_USSD",
     {0x40991D13, 0x26C8, 0x4BE8, {0x93, 0x83, 0x0E, 0x8A, 0x2B, 0x32, 0xDE, 0x30}},
     L"USSD",
     {0x5E99AA02, 0x3B33, 0x4ECC, {0x8C, 0xCC, 0x01, 0xC9, 0xC3, 0x27, 0xF5, 0x1B}},
     kUSSDBuilt,
     Properties(1, {{0x68030003, L"USSDNotification", L"BSTR"}}) +
     std::vector<Member>{
         {3, kMethod, 0x60030004,
          L"USSDListen([in, optional, defaultvalue(3)] short iTimeOutSeconds, [out, retval] VARIANT_BOOL* Result)"},
         {4, kMethod, 0x60030005, L"USSD([in] BSTR Command, [out, retval] BSTR* Result)"},
         {5, kMethod, 0x60030006, L"Cancel([out, retval] VARIANT_BOOL* Result)"},
     }},
    {L"_SMS",
     {0x3A2273E8, 0x7B37, 0x4315, {0xAE, 0xEE, 0x21, 0xD4, 0xC6, 0x4E, 0xF2, 0xCA}},
     L"SMS",
     {0x3D15FBE5, 0x0603, 0x4104, {0xA5, 0x99, 0x3B, 0x83, 0x55, 0xEF, 0x2C, 0xE7}},
     kSMSBuilt,
     Properties(1, {{0x68030012, L"LMS_Sequence", L"short"},
                    {0x68030011, L"LMS_Total", L"short"},
                    {0x68030010, L"LMS_Reference", L"short"},
                    {0x6803000F, L"IsLMS", L"VARIANT_BOOL"}}) +
     std::vector<Member>{{9, kMethod, 0x60030013,
                          L"IsOnline([in, out] BSTR* sNumber, [in, out, optional, defaultvalue(10)] short* "
                          L"iWait_Second, [out, retval] VARIANT_BOOL* Result)"}} +
     Properties(10, {{0x6803000E, L"ToMessage", L"VARIANT", true},
                     {0x6803000D, L"ToNumber", L"BSTR"},
                     {0x6803000C, L"DRStatus", L"DeliveryStatus"},
                     {0x6803000B, L"DRFDate", L"BSTR"},
                     {0x6803000A, L"DRFTime", L"BSTR"},
                     {0x68030009, L"DRRDate", L"BSTR"},
                     {0x68030008, L"DRRTime", L"BSTR"},
                     {0x68030007, L"DRMNRecipient", L"BSTR"},
                     {0x68030006, L"DRMsgRef", L"BSTR"},
                     {0x68030005, L"SCTS", L"BSTR"},
                     {0x68030004, L"MR", L"BSTR"},
                     {0x68030003, L"SMSC", L"BSTR"},
                     {0x68030002, L"Msg", L"BSTR"},
                     {0x68030001, L"MN", L"BSTR"},
                     {0x68030000, L"IDD", L"BSTR"}}) +
     std::vector<Member>{
         {41, kMethod, 0x60030015, L"ReadSMSText([out, retval] VARIANT_BOOL* Result)"},
         {42, kMethod, 0x60030016, L"ReadSMS([out, retval] VARIANT_BOOL* Result)"},
         {43, kMethod, 0x60030017,
          L"SendSMS([in, optional] BSTR strHP, [in, optional] BSTR strMsg, [out, retval] VARIANT_BOOL* Result)"},
         {44, kMethod, 0x60030018,
          L"SendSMSText([in] BSTR strMobileNumber, [in] BSTR strMessage, [out, retval] VARIANT_BOOL* Result)"},
         {45, kMethod, 0x60030019,
          L"SendSMSUnicode([in] BSTR strMobileNumber, [in] BSTR strMessage, [out, retval] VARIANT_BOOL* Result)"},
         {46, kMethod, 0x6003001A,
          L"SendLMSText([in] BSTR strMobileNumber, [in] BSTR strMessage, [in] short intMessageReference, "
          L"[out, retval] VARIANT_BOOL* Result)"},
         {47, kMethod, 0x6003001B, L"DeliveryReportOn([out, retval] VARIANT_BOOL* Result)"},
         {48, kMethod, 0x6003001C, L"DeliveryReportOff([out, retval] VARIANT_BOOL* Result)"},
         {49, kMethod, 0x6003001D, L"GetDeliveryReport([out, retval] VARIANT_BOOL* Result)"},
     }},
};

std::string Hex(long value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
  return buffer;
}

std::wstring TypeName(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_I2: return L"short";
    case VT_I4: return L"long";
    case VT_BSTR: return L"BSTR";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_VARIANT: return L"VARIANT";
    case VT_DISPATCH: return L"IDispatch*";
    case VT_HRESULT: return L"HRESULT";
    case VT_VOID: return L"void";
    case VT_PTR: return TypeName(info, *type.lptdesc) + L"*";
    case VT_USERDEFINED: {
      ITypeInfo* referenced = nullptr;
      std::wstring name = L"?";
      if (SUCCEEDED(info->GetRefTypeInfo(type.hreftype, &referenced))) {
        Bstr text;
        referenced->GetDocumentation(MEMBERID_NIL, text.Out(), nullptr, nullptr, nullptr);
        name = text.str();
        referenced->Release();
      }
      return name;
    }
    default: return L"vt" + std::to_wstring(type.vt);
  }
}

std::wstring Flags(const PARAMDESC& param) {
  std::wstring flags;
  auto add = [&](const std::wstring& flag) { flags += (flags.empty() ? L"" : L", ") + flag; };
  if (param.wParamFlags & PARAMFLAG_FIN) add(L"in");
  if (param.wParamFlags & PARAMFLAG_FOUT) add(L"out");
  if (param.wParamFlags & PARAMFLAG_FRETVAL) add(L"retval");
  if (param.wParamFlags & PARAMFLAG_FOPT) add(L"optional");
  if (param.wParamFlags & PARAMFLAG_FHASDEFAULT) {
    VARIANT text;
    VariantInit(&text);
    VariantChangeType(&text, &param.pparamdescex->varDefaultValue, 0, VT_BSTR);
    add(L"defaultvalue(" + std::wstring(V_VT(&text) == VT_BSTR ? V_BSTR(&text) : L"?") + L")");
    VariantClear(&text);
  }
  return L"[" + flags + L"]";
}

// "Name([flags] type name, ...)" of a vtable member.
std::wstring Signature(ITypeInfo* info, const FUNCDESC& func) {
  BSTR names[32] = {};
  UINT count = 0;
  info->GetNames(func.memid, names, 32, &count);
  // Property puts name only the member: their single parameter is called after the interface's
  // convention, which the table spells "rhs".
  std::wstring text = std::wstring(count > 0 ? names[0] : L"?") + L"(";
  for (SHORT i = 0; i < func.cParams; ++i) {
    const ELEMDESC& param = func.lprgelemdescParam[i];
    if (i > 0) text += L", ";
    const std::wstring name = static_cast<UINT>(i + 1) < count && names[i + 1] ? names[i + 1] : L"rhs";
    text += Flags(param.paramdesc) + L" " + TypeName(info, param.tdesc) + L" " + name;
  }
  for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
  return text + L")";
}

INVOKEKIND InvokeKindOf(Kind kind) {
  switch (kind) {
    case kGet: return INVOKE_PROPERTYGET;
    case kPut: return INVOKE_PROPERTYPUT;
    case kPutRef: return INVOKE_PROPERTYPUTREF;
    default: return INVOKE_FUNC;
  }
}

std::string Name(const wchar_t* text) { return check::Narrow(text); }

void CheckLibrary(ITypeLib* library) {
  TLIBATTR* attr = nullptr;
  if (FAILED(library->GetLibAttr(&attr))) return check::That(false, "library attributes");
  check::That(IsEqualGUID(attr->guid, kLibrary), "library GUID");
  check::Equal<int>(attr->wMajorVerNum, 2, "library major version 2");
  check::Equal<int>(attr->wMinorVerNum, 0, "library minor version 0");
  check::Equal<long>(static_cast<long>(attr->lcid), 0x409, "library locale 0x409");
#ifdef _WIN64
  check::Equal<int>(attr->syskind, SYS_WIN64, "library built for 64-bit Windows");
#endif
  library->ReleaseTLibAttr(attr);
  Bstr name, help_file;
  library->GetDocumentation(-1, name.Out(), nullptr, nullptr, help_file.Out());
  check::Equal(name.str(), std::wstring(L"QuandelSTK6"), "library name");
  check::Equal(help_file.str(), std::wstring(), "no help file");
}

// Every type of the library in its order: the enumerations, then each interface followed by its
// class where the build provides it.
void CheckOrder(ITypeLib* library) {
  std::vector<std::wstring> expected;
  for (const auto& e : kEnumerations) expected.push_back(e.name);
  for (const auto& i : kInterfaces) {
    expected.push_back(i.name);
    if (i.built) expected.push_back(i.class_name);
  }
  std::vector<std::wstring> actual;
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    Bstr name;
    library->GetDocumentation(static_cast<INT>(i), name.Out(), nullptr, nullptr, nullptr);
    actual.push_back(name.str());
  }
  std::wstring a, e;
  for (const auto& n : actual) a += n + L" ";
  for (const auto& n : expected) e += n + L" ";
  check::Equal(a, e, "types of the library in order");
}

void CheckEnumeration(ITypeLib* library, const Enumeration& expected) {
  const std::string where = "enum " + Name(expected.name);
  ITypeInfo* info = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(expected.guid, &info))) return check::That(false, where + " by its GUID");
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  check::Equal<int>(attr->typekind, TKIND_ENUM, where + " is an enumeration");
  check::Equal<int>(attr->cVars, static_cast<int>(expected.values.size()), where + " value count");
  for (UINT i = 0; i < attr->cVars && i < expected.values.size(); ++i) {
    VARDESC* var = nullptr;
    if (FAILED(info->GetVarDesc(i, &var))) continue;
    Bstr name;
    info->GetDocumentation(var->memid, name.Out(), nullptr, nullptr, nullptr);
    const auto& [want_name, want_value] = expected.values[i];
    check::Equal(name.str(), std::wstring(want_name), where + " value " + std::to_string(i) + " name");
    const bool is_const = var->varkind == VAR_CONST && var->lpvarValue;
    check::That(is_const && V_VT(var->lpvarValue) == VT_I4 && V_I4(var->lpvarValue) == want_value,
                where + "." + Name(want_name) + " = " + std::to_string(want_value) + " (32-bit)");
    info->ReleaseVarDesc(var);
  }
  info->ReleaseTypeAttr(attr);
  info->Release();
}

void CheckInterface(ITypeLib* library, const Interface& expected) {
  const std::string where = Name(expected.name);
  ITypeInfo* dispatch = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(expected.iid, &dispatch))) return check::That(false, where + " by its IID");
  TYPEATTR* attr = nullptr;
  dispatch->GetTypeAttr(&attr);
  // The automation-compatible flag belongs to the vtable view, checked below.
  const WORD wanted = kInterfaceFlags & ~TYPEFLAG_FOLEAUTOMATION;
  check::Equal<int>(attr->typekind, TKIND_DISPATCH, where + " is found as its dispatch view");
  check::That((attr->wTypeFlags & wanted) == wanted,
              where + " dispatch view is hidden, dual, non-extensible, dispatchable (flags " + Hex(attr->wTypeFlags) +
                  ")");
  dispatch->ReleaseTypeAttr(attr);

  HREFTYPE ref = 0;
  ITypeInfo* vtable = nullptr;
  if (FAILED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) ||
      FAILED(dispatch->GetRefTypeInfo(ref, &vtable))) {
    dispatch->Release();
    return check::That(false, where + " has a vtable view");
  }
  // Its base is IDispatch from the standard OLE automation library.
  ITypeInfo* base = nullptr;
  if (SUCCEEDED(vtable->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(vtable->GetRefTypeInfo(ref, &base))) {
    Bstr name, library_name;
    base->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
    ITypeLib* containing = nullptr;
    UINT index = 0;
    if (SUCCEEDED(base->GetContainingTypeLib(&containing, &index))) {
      containing->GetDocumentation(-1, library_name.Out(), nullptr, nullptr, nullptr);
      containing->Release();
    }
    check::Equal(name.str() + L" from " + library_name.str(), std::wstring(L"IDispatch from stdole"),
                 where + " derives from IDispatch");
    base->Release();
  } else {
    check::That(false, where + " has a base interface");
  }

  vtable->GetTypeAttr(&attr);
  check::That((attr->wTypeFlags & kInterfaceFlags) == kInterfaceFlags,
              where + " vtable view is hidden, dual, non-extensible, automation-compatible, dispatchable (flags " +
                  Hex(attr->wTypeFlags) + ")");
  check::Equal<int>(attr->cFuncs, static_cast<int>(expected.members.size()), where + " member count");
  check::Equal<int>(attr->cbSizeVft, static_cast<int>((7 + expected.members.size()) * sizeof(void*)),
                    where + " vtable size");
  const UINT count = attr->cFuncs;
  vtable->ReleaseTypeAttr(attr);

  for (UINT i = 0; i < count && i < expected.members.size(); ++i) {
    const Member& member = expected.members[i];
    FUNCDESC* func = nullptr;
    if (FAILED(vtable->GetFuncDesc(i, &func))) {
      check::That(false, where + " member " + std::to_string(i));
      continue;
    }
    const std::string at = where + " slot " + std::to_string(member.slot) + " " + Name(member.signature.c_str());
    check::Equal<int>(func->oVft / static_cast<int>(sizeof(void*)) - 7 + 1, member.slot, at + ": slot");
    check::Equal<std::string>(Hex(func->memid), Hex(member.id), at + ": DISPID");
    check::Equal<int>(func->invkind, InvokeKindOf(member.kind), at + ": kind");
    check::Equal<int>(func->elemdescFunc.tdesc.vt, VT_HRESULT, at + ": returns a status code");
    check::Equal(Signature(vtable, *func), member.signature, at + ": signature");
    // Documentation is per function; a property's accessors share their DISPID.
    Bstr doc;
    vtable->GetDocumentation(func->memid, nullptr, doc.Out(), nullptr, nullptr);
    check::Equal(doc.str(), std::wstring(member.doc), at + ": documentation");
    vtable->ReleaseFuncDesc(func);
  }

  // Late binding finds every member's DISPID by name through the dispatch view.
  for (const Member& member : expected.members) {
    std::wstring name = member.signature;
    name = name.substr(0, name.find(L'('));
    LPOLESTR names[] = {name.data()};
    MEMBERID id = 0;
    const HRESULT hr = dispatch->GetIDsOfNames(names, 1, &id);
    check::That(SUCCEEDED(hr) && id == member.id, where + "." + Name(name.c_str()) + " found by name as " +
                                                      Hex(member.id) + " (got " + Hex(id) + ")");
  }
  vtable->Release();
  dispatch->Release();

  if (!expected.built) {
    ITypeInfo* coclass = nullptr;
    check::That(FAILED(library->GetTypeInfoOfGuid(expected.clsid, &coclass)),
                Name(expected.class_name) + " is not declared by a build that does not provide it");
    if (coclass) coclass->Release();
    return;
  }
  ITypeInfo* coclass = nullptr;
  const std::string cls = "class " + Name(expected.class_name);
  if (FAILED(library->GetTypeInfoOfGuid(expected.clsid, &coclass))) return check::That(false, cls + " by its CLSID");
  coclass->GetTypeAttr(&attr);
  check::Equal<int>(attr->typekind, TKIND_COCLASS, cls + " is a class");
  check::That((attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0, cls + " is creatable");
  check::Equal<int>(attr->cImplTypes, 1, cls + " has exactly one interface");
  coclass->ReleaseTypeAttr(attr);
  INT impl_flags = 0;
  coclass->GetImplTypeFlags(0, &impl_flags);
  check::That((impl_flags & IMPLTYPEFLAG_FDEFAULT) != 0, cls + ": its interface is the default");
  ITypeInfo* implemented = nullptr;
  if (SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(coclass->GetRefTypeInfo(ref, &implemented))) {
    TYPEATTR* implemented_attr = nullptr;
    implemented->GetTypeAttr(&implemented_attr);
    check::That(IsEqualGUID(implemented_attr->guid, expected.iid), cls + " implements " + where);
    implemented->ReleaseTypeAttr(implemented_attr);
    implemented->Release();
  } else {
    check::That(false, cls + " implements " + where);
  }
  coclass->Release();
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  ITypeLib* library = nullptr;
  const HRESULT hr = LoadRegTypeLib(kLibrary, 2, 0, 0x409, &library);
  check::That(SUCCEEDED(hr), "the registered type library QuandelSTK6 2.0 loads (" + Hex(hr) + ")");
  if (library) {
    CheckLibrary(library);
    CheckOrder(library);
    for (const auto& e : kEnumerations) CheckEnumeration(library, e);
    for (const auto& i : kInterfaces) CheckInterface(library, i);
    library->Release();
  }
  CoUninitialize();
  return check::Finish("typelib_check");
}

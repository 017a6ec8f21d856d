// Loads the registered QuandelSTK6 type library and compares it with the table below, which is
// written out by hand from what hosts are promised: the library's identity, the order of its
// types, every enumeration, and for every interface its flags, its members in vtable slot order
// with DISPIDs, kinds, parameters (flags, types, defaults), a few documentation texts, and the
// classes this build provides.
#include <string>
#include <string_view>
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
     {{L"STKMainMenu", 0},
      {L"STKResponse", 1},
      {L"STKInputRequest", 3},
      {L"STKSubMenu", 6},
      {L"STKSMSSent", 9},
      {L"STKTimeOut", 98},
      {L"STKSessionEnd", 99},
      {L"STKUnknown", 100}}},
    {L"DeliveryStatus",
     {0xB3EBA1F2, 0x96B8, 0x47FD, {0x87, 0x17, 0xE6, 0xB5, 0x4E, 0x9A, 0x2F, 0x90}},
     {{L"Undelivered", 0}, {L"Delivered", 1}, {L"Unknown", 2}}},
    {L"InitStatus",
     {0x98A2411E, 0xC566, 0x4BD6, {0xB5, 0x31, 0x6F, 0x03, 0xC7, 0x80, 0x73, 0xD4}},
     {{L"Fail", 0}, {L"OK", 1}, {L"PINRequired", 2}, {L"PINWrong", 3}, {L"SIMBlocked", 4}, {L"SIMError", 5}}},
};

constexpr WORD kInterfaceFlags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE |
                                 TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;

// One vtable slot after IDispatch's seven, in order: the name and parameters as "[flags] type name",
// the result as "[out, retval] type Result".
struct Member {
  INVOKEKIND kind;
  DISPID id;
  std::wstring signature;
};
using Members = std::vector<Member>;
Members operator+(Members a, const Members& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Members Method(DISPID id, const wchar_t* signature) {
  return {{INVOKE_FUNC, id, signature}};
}

// A property's accessors: put (and putref, when asked), then get.
struct Property {
  DISPID id;
  std::wstring name, type;
  bool by_ref = false;
};
Members Properties(std::initializer_list<Property> properties) {
  Members members;
  for (const Property& p : properties) {
    members.push_back({INVOKE_PROPERTYPUT, p.id, p.name + L"([in] " + p.type + L" rhs)"});
    if (p.by_ref) members.push_back({INVOKE_PROPERTYPUTREF, p.id, p.name + L"([in] " + p.type + L" rhs)"});
    members.push_back({INVOKE_PROPERTYGET, p.id, p.name + L"([out, retval] " + p.type + L"* rhs)"});
  }
  return members;
}

struct Interface {
  const wchar_t* name;
  GUID iid;
  const wchar_t* class_name;
  GUID clsid;
  bool built;  // the build provides the class
  Members members;
};

// The build's classes come as QSTK_COCLASS_<NAME> definitions; an undefined one stringifies to its name.
constexpr bool Defined(std::string_view value, std::string_view name) {
  return value != name;
}
#define QSTK_STR(x) #x
#define QSTK_EXPANDED(x) QSTK_STR(x)
#define QSTK_BUILT(c) Defined(QSTK_EXPANDED(QSTK_COCLASS_##c), "QSTK_COCLASS_" #c)
#define CRLF L"\r\n"

const std::vector<Interface> kInterfaces = {
    {L"_SIMToolKit",
     {0x6A2CA489, 0x5D65, 0x4696, {0xA3, 0xEA, 0x8D, 0x88, 0xA9, 0xFF, 0xE6, 0x53}},
     L"SIMToolKit",
     {0x605EFAF8, 0x2E21, 0x4E70, {0xB3, 0x76, 0x06, 0x00, 0xD3, 0xC8, 0x26, 0xEE}},
     QSTK_BUILT(SIMTOOLKIT),
     Properties({{0x68030003, L"SubMenuList", L"BSTR"},
                 {0x68030002, L"SubMenuName", L"BSTR"},
                 {0x68030001, L"MainMenuList", L"BSTR"},
                 {0x68030000, L"MainMenuName", L"BSTR"}}) +
         Method(0x60030004, L"STKStatusGet([out, retval] STKStatus* Result)") +
         Method(0x60030005, L"MainMenuDisplay([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030006, L"MainMenuSelect([in] short ItemSelect, [out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030007, L"SubMenuDisplay([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030008, L"SubMenuSelect([in] short ItemSelect, [out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030009, L"InputRequestDisplay([out, retval] BSTR* Result)") +
         Method(0x6003000A, L"InputSubmit([in] BSTR UserInputSubmit, [out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003000B, L"ResponseDisplay([out, retval] BSTR* Result)") +
         Method(0x6003000C, L"SMSSentDisplay([out, retval] BSTR* Result)") +
         Method(0x6003000D, L"ActivateSTK([out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003000E, L"CloseSTK([out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003000F, L"DeactivateSTK([out, retval] VARIANT_BOOL* Result)")},
    {L"_Phonebook",
     {0x0D85F9F0, 0xA587, 0x4F73, {0xB3, 0x13, 0x09, 0xDD, 0x48, 0x99, 0xD6, 0x23}},
     L"Phonebook",
     {0xB2B815AD, 0x224B, 0x4A05, {0x92, 0x04, 0xC9, 0xC2, 0x00, 0x4C, 0x42, 0xD9}},
     QSTK_BUILT(PHONEBOOK),
     Properties({{0x68030001, L"PhonebookNumber", L"BSTR"}, {0x68030000, L"PhonebookName", L"BSTR"}}) +
         Method(0x60030003, L"TotalSpace([out, retval] short* Result)") +
         Method(0x60030004, L"TotalUsed([out, retval] short* Result)") +
         Method(0x60030005, L"PhonebookDelete([in] short intLocation, [out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030006,
                L"PhonebookWrite([in] short intLocation, [in] BSTR strNumber, [in] BSTR strName, "
                L"[out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030007, L"PhonebookRead([in] short intLocation, [out, retval] VARIANT_BOOL* Result)")},
    {L"_Modem",
     {0x436B5CF9, 0x8D4E, 0x4E44, {0xA0, 0x5D, 0xBA, 0x3E, 0x0C, 0xC7, 0x01, 0xAC}},
     L"Modem",
     {0x702C7233, 0x83BC, 0x4189, {0xA5, 0x43, 0x29, 0xE0, 0xD8, 0x2C, 0x5A, 0x2C}},
     QSTK_BUILT(MODEM),
     Method(0x60030000,
            L"Init([in] short intPort, [in, optional] BSTR PIN, [out, retval] InitStatus* Result)") +
         Method(0x60030001, L"ShutDown([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030002, L"Reboot([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030003, L"SignalStrength([out, retval] short* Result)") +
         Method(0x60030004, L"OperatorName([out, retval] BSTR* Result)") +
         Method(0x60030005,
                L"FindCOMPort([in, out] short* iStart, [in, out] short* iEnd, [out, retval] short* Result)") +
         Method(0x60030006, L"IsConnectToGSM([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030007, L"GetIMSI([out, retval] BSTR* Result)") +
         Method(0x60030008, L"GetMSISDN([out, retval] BSTR* Result)")},
    {L"_USSD",
     {0x40991D13, 0x26C8, 0x4BE8, {0x93, 0x83, 0x0E, 0x8A, 0x2B, 0x32, 0xDE, 0x30}},
     L"USSD",
     {0x5E99AA02, 0x3B33, 0x4ECC, {0x8C, 0xCC, 0x01, 0xC9, 0xC3, 0x27, 0xF5, 0x1B}},
     QSTK_BUILT(USSD),
     Properties({{0x68030003, L"USSDNotification", L"BSTR"}}) +
         Method(0x60030004,
                L"USSDListen([in, optional, defaultvalue(3)] short iTimeOutSeconds, "
                L"[out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030005, L"USSD([in] BSTR Command, [out, retval] BSTR* Result)") +
         Method(0x60030006, L"Cancel([out, retval] VARIANT_BOOL* Result)")},
    {L"_SMS",
     {0x3A2273E8, 0x7B37, 0x4315, {0xAE, 0xEE, 0x21, 0xD4, 0xC6, 0x4E, 0xF2, 0xCA}},
     L"SMS",
     {0x3D15FBE5, 0x0603, 0x4104, {0xA5, 0x99, 0x3B, 0x83, 0x55, 0xEF, 0x2C, 0xE7}},
     QSTK_BUILT(SMS),
     Properties({{0x68030012, L"LMS_Sequence", L"short"},
                 {0x68030011, L"LMS_Total", L"short"},
                 {0x68030010, L"LMS_Reference", L"short"},
                 {0x6803000F, L"IsLMS", L"VARIANT_BOOL"}}) +
         Method(0x60030013,
                L"IsOnline([in, out] BSTR* sNumber, [in, out, optional, defaultvalue(10)] short* "
                L"iWait_Second, [out, retval] VARIANT_BOOL* Result)") +
         Properties({{0x6803000E, L"ToMessage", L"VARIANT", true},
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
         Method(0x60030015, L"ReadSMSText([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030016, L"ReadSMS([out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030017,
                L"SendSMS([in, optional] BSTR strHP, [in, optional] BSTR strMsg, [out, retval] VARIANT_BOOL* "
                L"Result)") +
         Method(0x60030018,
                L"SendSMSText([in] BSTR strMobileNumber, [in] BSTR strMessage, "
                L"[out, retval] VARIANT_BOOL* Result)") +
         Method(0x60030019,
                L"SendSMSUnicode([in] BSTR strMobileNumber, [in] BSTR strMessage, "
                L"[out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003001A,
                L"SendLMSText([in] BSTR strMobileNumber, [in] BSTR strMessage, "
                L"[in] short intMessageReference, [out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003001B, L"DeliveryReportOn([out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003001C, L"DeliveryReportOff([out, retval] VARIANT_BOOL* Result)") +
         Method(0x6003001D, L"GetDeliveryReport([out, retval] VARIANT_BOOL* Result)")},
};

// Documentation as object browsers show it. widl writes a line break as the four characters "\r\n"
// and the build puts CR LF back: a text of several lines, a one-line text, and a member without one.
const std::vector<std::pair<std::wstring, std::wstring>> kDocs = {
    {L"MainMenuSelect",
     L"To select an item in main menu of "
     L"STK." CRLF L"Return value is:" CRLF L"= True if successfully submitted." CRLF L"= False if not."},
    {L"PhonebookName", L"The name stored in phonebook."},
    {L"Init", L""},
};

std::string Hex(long value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
  return buffer;
}

std::wstring NameOf(ITypeInfo* info) {
  Bstr name;
  info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
  return name.str();
}

std::wstring TypeName(ITypeInfo* info, const TYPEDESC& type) {
  switch (type.vt) {
    case VT_I2:
      return L"short";
    case VT_BSTR:
      return L"BSTR";
    case VT_BOOL:
      return L"VARIANT_BOOL";
    case VT_VARIANT:
      return L"VARIANT";
    case VT_PTR:
      return TypeName(info, *type.lptdesc) + L"*";
    case VT_USERDEFINED: {
      ITypeInfo* referenced = nullptr;
      if (FAILED(info->GetRefTypeInfo(type.hreftype, &referenced))) return L"?";
      std::wstring name = NameOf(referenced);
      referenced->Release();
      return name;
    }
    default:
      return L"vt" + std::to_wstring(type.vt);
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

// "Name([flags] type name, ...)" of a vtable member; a property put's single parameter has no name
// of its own, the table spells it "rhs".
std::wstring Signature(ITypeInfo* info, const FUNCDESC& func) {
  BSTR names[32] = {};
  UINT count = 0;
  info->GetNames(func.memid, names, 32, &count);
  std::wstring text = std::wstring(count > 0 ? names[0] : L"?") + L"(";
  for (SHORT i = 0; i < func.cParams; ++i) {
    const ELEMDESC& param = func.lprgelemdescParam[i];
    const std::wstring name = static_cast<UINT>(i + 1) < count && names[i + 1] ? names[i + 1] : L"rhs";
    text += (i > 0 ? L", " : L"") + Flags(param.paramdesc) + L" " + TypeName(info, param.tdesc) + L" " + name;
  }
  for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
  return text + L")";
}

std::string Name(const std::wstring& text) {
  return check::Narrow(text);
}

void CheckLibrary(ITypeLib* library) {
  TLIBATTR* attr = nullptr;
  if (FAILED(library->GetLibAttr(&attr))) return check::That(false, "library attributes");
  check::That(IsEqualGUID(attr->guid, kLibrary), "library GUID");
  check::That(attr->wMajorVerNum == 2 && attr->wMinorVerNum == 0 && attr->lcid == 0x409 &&
                  attr->syskind == (sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32),
              "library 2.0, locale 0x409, for this platform");
  library->ReleaseTLibAttr(attr);
  Bstr name, help_file;
  library->GetDocumentation(-1, name.Out(), nullptr, nullptr, help_file.Out());
  check::Equal(name.str() + L"|" + help_file.str(), std::wstring(L"QuandelSTK6|"),
               "library name, no help file");

  // Every type in its order: the enumerations, then each interface followed by its class if built.
  std::wstring expected, actual;
  for (const auto& e : kEnumerations) expected += std::wstring(e.name) + L" ";
  for (const auto& i : kInterfaces)
    expected += std::wstring(i.name) + L" " + (i.built ? i.class_name + std::wstring(L" ") : L"");
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    Bstr type_name;
    library->GetDocumentation(static_cast<INT>(i), type_name.Out(), nullptr, nullptr, nullptr);
    actual += type_name.str() + L" ";
  }
  check::Equal(actual, expected, "types of the library in order");
}

void CheckEnumeration(ITypeLib* library, const Enumeration& expected) {
  const std::string where = "enum " + Name(expected.name);
  ITypeInfo* info = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(expected.guid, &info)))
    return check::That(false, where + " by its GUID");
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  check::That(attr->typekind == TKIND_ENUM && attr->cVars == expected.values.size(),
              where + ": kind and size");
  for (UINT i = 0; i < attr->cVars && i < expected.values.size(); ++i) {
    VARDESC* var = nullptr;
    if (FAILED(info->GetVarDesc(i, &var))) continue;
    Bstr name;
    info->GetDocumentation(var->memid, name.Out(), nullptr, nullptr, nullptr);
    const auto& [want_name, want_value] = expected.values[i];
    const bool is_const = var->varkind == VAR_CONST && var->lpvarValue;
    check::That(name.str() == want_name && is_const && V_VT(var->lpvarValue) == VT_I4 &&
                    V_I4(var->lpvarValue) == want_value,
                where + " value " + std::to_string(i) + ": " + Name(want_name) + " = " +
                    std::to_string(want_value) + " (32-bit)");
    info->ReleaseVarDesc(var);
  }
  info->ReleaseTypeAttr(attr);
  info->Release();
}

void CheckMembers(const std::string& where, ITypeInfo* dispatch, ITypeInfo* vtable, const Members& expected) {
  TYPEATTR* attr = nullptr;
  vtable->GetTypeAttr(&attr);
  check::That(
      (attr->wTypeFlags & kInterfaceFlags) == kInterfaceFlags,
      where + " vtable view is hidden, dual, non-extensible, automation-compatible, dispatchable (flags " +
          Hex(attr->wTypeFlags) + ")");
  check::That(attr->cFuncs == expected.size() && attr->cbSizeVft == (7 + expected.size()) * sizeof(void*),
              where + " member count and vtable size");
  const UINT count = attr->cFuncs;
  vtable->ReleaseTypeAttr(attr);

  for (UINT i = 0; i < count && i < expected.size(); ++i) {
    const Member& member = expected[i];
    FUNCDESC* func = nullptr;
    if (FAILED(vtable->GetFuncDesc(i, &func))) {
      check::That(false, where + " member " + std::to_string(i));
      continue;
    }
    const std::string at = where + " slot " + std::to_string(i + 1) + " " + Name(member.signature);
    check::That(func->oVft == static_cast<SHORT>((7 + i) * sizeof(void*)), at + ": slot");
    check::Equal<std::string>(Hex(func->memid), Hex(member.id), at + ": DISPID");
    check::That(func->invkind == member.kind && func->elemdescFunc.tdesc.vt == VT_HRESULT,
                at + ": kind, returns a status code");
    check::Equal(Signature(vtable, *func), member.signature, at + ": signature");
    vtable->ReleaseFuncDesc(func);
    std::wstring name = member.signature.substr(0, member.signature.find(L'('));
    for (const auto& [documented, text] : kDocs) {
      if (name != documented) continue;
      Bstr doc;
      vtable->GetDocumentation(member.id, nullptr, doc.Out(), nullptr, nullptr);
      check::Equal(doc.str(), text, at + ": documentation");
    }
    // Late binding finds the member's DISPID by name through the dispatch view.
    LPOLESTR names[] = {name.data()};
    MEMBERID id = 0;
    check::That(SUCCEEDED(dispatch->GetIDsOfNames(names, 1, &id)) && id == member.id, at + ": found by name");
  }
}

void CheckInterface(ITypeLib* library, const Interface& expected) {
  const std::string where = Name(expected.name);
  ITypeInfo* dispatch = nullptr;
  if (FAILED(library->GetTypeInfoOfGuid(expected.iid, &dispatch)))
    return check::That(false, where + " by its IID");
  TYPEATTR* attr = nullptr;
  dispatch->GetTypeAttr(&attr);
  // The automation-compatible flag belongs to the vtable view.
  const WORD wanted = kInterfaceFlags & ~TYPEFLAG_FOLEAUTOMATION;
  check::That(attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & wanted) == wanted,
              where + " dispatch view is hidden, dual, non-extensible, dispatchable (flags " +
                  Hex(attr->wTypeFlags) + ")");
  dispatch->ReleaseTypeAttr(attr);

  HREFTYPE ref = 0;
  ITypeInfo* vtable = nullptr;
  ITypeInfo* base = nullptr;
  if (SUCCEEDED(dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
      SUCCEEDED(dispatch->GetRefTypeInfo(ref, &vtable))) {
    // Its base is IDispatch from the standard OLE automation library.
    ITypeLib* containing = nullptr;
    UINT index = 0;
    Bstr library_name;
    if (SUCCEEDED(vtable->GetRefTypeOfImplType(0, &ref)) && SUCCEEDED(vtable->GetRefTypeInfo(ref, &base)) &&
        SUCCEEDED(base->GetContainingTypeLib(&containing, &index))) {
      containing->GetDocumentation(-1, library_name.Out(), nullptr, nullptr, nullptr);
      containing->Release();
    }
    check::Equal(base ? NameOf(base) + L" from " + library_name.str() : L"",
                 std::wstring(L"IDispatch from stdole"), where + " derives from IDispatch");
    if (base) base->Release();
    CheckMembers(where, dispatch, vtable, expected.members);
    vtable->Release();
  } else {
    check::That(false, where + " has a vtable view");
  }
  dispatch->Release();

  ITypeInfo* coclass = nullptr;
  const std::string cls = "class " + Name(expected.class_name);
  const bool found = SUCCEEDED(library->GetTypeInfoOfGuid(expected.clsid, &coclass));
  check::That(found == expected.built,
              cls + (expected.built ? " by its CLSID" : " is not declared by a build without it"));
  if (!found) return;
  coclass->GetTypeAttr(&attr);
  check::That(
      attr->typekind == TKIND_COCLASS && (attr->wTypeFlags & TYPEFLAG_FCANCREATE) && attr->cImplTypes == 1,
      cls + " is a creatable class with exactly one interface");
  coclass->ReleaseTypeAttr(attr);
  INT impl_flags = 0;
  coclass->GetImplTypeFlags(0, &impl_flags);
  ITypeInfo* implemented = nullptr;
  TYPEATTR* implemented_attr = nullptr;
  if (SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref)) &&
      SUCCEEDED(coclass->GetRefTypeInfo(ref, &implemented)))
    implemented->GetTypeAttr(&implemented_attr);
  check::That(implemented_attr && IsEqualGUID(implemented_attr->guid, expected.iid) &&
                  (impl_flags & IMPLTYPEFLAG_FDEFAULT),
              cls + " implements " + where + " as its default");
  if (implemented) {
    implemented->ReleaseTypeAttr(implemented_attr);
    implemented->Release();
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
    for (const auto& e : kEnumerations) CheckEnumeration(library, e);
    for (const auto& i : kInterfaces) CheckInterface(library, i);
    library->Release();
  }
  CoUninitialize();
  return check::Finish("typelib_check");
}

#include "automation/registration.hpp"


#include <string>

#include "automation/type_library.hpp"
#include "automation/classes.hpp"
#include "automation/module.hpp"

namespace quandelstk::automation {

namespace {

constexpr const wchar_t* kLibraryName = L"QuandelSTK6";
constexpr WORD kLibraryMajor = 2;
constexpr WORD kLibraryMinor = 0;
constexpr LCID kLibraryLocale = 0x409;
constexpr const wchar_t* kClassVersion = L"1";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Writes the default value (name empty) or a named value of HKEY_CLASSES_ROOT\key.
LONG SetValue(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                           nullptr, &handle, nullptr);
  if (r != ERROR_SUCCESS) return r;
  r = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return r;
}

// The key with everything below it; a key that is not there is no failure.
LONG DeleteTree(const std::wstring& key) {
  LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (r == ERROR_SUCCESS) r = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

LONG RegisterClass(const ClassEntry& entry, const std::wstring& path) {
  const std::wstring clsid = GuidText(*entry.clsid);
  const std::wstring prog_id = std::wstring(kLibraryName) + L"." + entry.name;
  const std::wstring versioned = prog_id + L"." + kClassVersion;
  const std::wstring key = L"CLSID\\" + clsid;
  const struct {
    std::wstring key;
    const wchar_t* name;
    std::wstring value;
  } values[] = {
      {key, nullptr, prog_id},
      {key + L"\\InprocServer32", nullptr, path},
      {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {key + L"\\ProgID", nullptr, versioned},
      {key + L"\\VersionIndependentProgID", nullptr, prog_id},
      {key + L"\\TypeLib", nullptr, GuidText(LIBID_QuandelSTK6)},
      {key + L"\\Version", nullptr, L"2.0"},
      {key + L"\\Programmable", nullptr, L""},
      {prog_id, nullptr, prog_id},
      {prog_id + L"\\CLSID", nullptr, clsid},
      {prog_id + L"\\CurVer", nullptr, versioned},
      {versioned, nullptr, prog_id},
      {versioned + L"\\CLSID", nullptr, clsid},
  };
  for (const auto& v : values)
    if (const LONG r = SetValue(v.key, v.name, v.value); r != ERROR_SUCCESS) return r;
  return ERROR_SUCCESS;
}

LONG UnregisterClass(const ClassEntry& entry) {
  const std::wstring prog_id = std::wstring(kLibraryName) + L"." + entry.name;
  LONG result = ERROR_SUCCESS;
  for (const std::wstring& key : {L"CLSID\\" + GuidText(*entry.clsid), prog_id, prog_id + L"." + kClassVersion})
    if (const LONG r = DeleteTree(key); r != ERROR_SUCCESS) result = r;
  return result;
}

}  // namespace

HRESULT RegisterServer() noexcept {
  try {
    const std::wstring path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    for (const ClassEntry* entry : Classes()) {
      if (const LONG r = RegisterClass(*entry, path); r != ERROR_SUCCESS) {
        UnregisterServer();
        return HRESULT_FROM_WIN32(r);
      }
    }
    ITypeLib* library = nullptr;
    const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
    if (FAILED(hr)) {
      UnregisterServer();
      return SELFREG_E_TYPELIB;
    }
    library->Release();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT UnregisterServer() noexcept {
  try {
    LONG failure = ERROR_SUCCESS;
    for (const ClassEntry* entry : Classes())
      if (const LONG r = UnregisterClass(*entry); r != ERROR_SUCCESS) failure = r;
#ifdef _WIN64
    const SYSKIND kind = SYS_WIN64;
#else
    const SYSKIND kind = SYS_WIN32;
#endif
    const HRESULT hr = UnRegisterTypeLib(LIBID_QuandelSTK6, kLibraryMajor, kLibraryMinor, kLibraryLocale, kind);
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_CANTLOADLIBRARY &&
        hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
      return SELFREG_E_TYPELIB;
    return failure == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace quandelstk::automation

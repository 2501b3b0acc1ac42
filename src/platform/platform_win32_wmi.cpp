// Windows implementation of the platform layer: the machine identifier, the serial number of
// a disk drive as WMI reports it (Win32_DiskDrive), through COM.
#include <objbase.h>
#include <wbemidl.h>

#include "platform/platform_win32.h"

namespace corvel::platform {

namespace {

// A COM interface pointer released when the object goes.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (mPointer) mPointer->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return mPointer; }
  Interface* get() const { return mPointer; }
  Interface** out() { return &mPointer; }
  void** out_void() { return reinterpret_cast<void**>(&mPointer); }

 private:
  Interface* mPointer = nullptr;
};

// COM on this thread for the life of the object; a thread that already has it (in either
// apartment) keeps it as it was.
class ComScope {
 public:
  ComScope() : mResult(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(mResult)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return SUCCEEDED(mResult) || mResult == RPC_E_CHANGED_MODE; }

 private:
  HRESULT mResult;
};

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : mText(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(mText); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return mText; }

 private:
  BSTR mText;
};

// The serial number of the last drive that reports one as a string; empty when none does.
std::string LastDriveSerial(IEnumWbemClassObject* drives) {
  std::string serial;
  while (true) {
    ComPtr<IWbemClassObject> drive;
    ULONG returned = 0;
    if (drives->Next(WBEM_INFINITE, 1, drive.out(), &returned) != WBEM_S_NO_ERROR ||
        returned == 0) {
      break;
    }
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(drive->Get(L"SerialNumber", 0, &value, nullptr, nullptr)) &&
        value.vt == VT_BSTR && value.bstrVal) {
      serial = win32::FromWide(value.bstrVal);
    }
    VariantClear(&value);
  }
  return serial;
}

}  // namespace

std::string MachineIdentifier() {
  ComScope com;
  if (!com.usable()) return {};
  // A host process that set COM security itself (RPC_E_TOO_LATE) keeps its settings; the
  // query runs with them, so the serial number, and the key made from it, stay the same.
  const HRESULT security =
      CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(security) && security != RPC_E_TOO_LATE) return {};

  ComPtr<IWbemLocator> locator;
  if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                              locator.out_void()))) {
    return {};
  }
  ComPtr<IWbemServices> services;
  Bstr space(L"ROOT\\CIMV2");
  if (FAILED(locator->ConnectServer(space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.out()))) {
    return {};
  }
  if (FAILED(CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE))) {
    return {};
  }
  ComPtr<IEnumWbemClassObject> drives;
  Bstr language(L"WQL");
  Bstr query(L"SELECT * FROM Win32_DiskDrive");
  if (FAILED(services->ExecQuery(language.get(), query.get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 drives.out()))) {
    return {};
  }
  return LastDriveSerial(drives.get());
}

}  // namespace corvel::platform

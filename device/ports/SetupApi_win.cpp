// The device-setup library (loaded at run time from the system directory) and the registry,
// as the system offers them.
#include "device/ports/SetupApi_win.h"

#include <string>

namespace portapi {
namespace {

using ClassGuidsFromNameFn = BOOL(WINAPI*)(PCSTR, LPGUID, DWORD, PDWORD);
using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumDeviceInfoFn = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using OpenDevRegKeyFn = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
using GetDeviceRegistryPropertyFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE,
                                                  DWORD, PDWORD);
using DestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);

struct SetupEntries {
    OpenDevRegKeyFn openDevRegKey = nullptr;
    ClassGuidsFromNameFn classGuidsFromName = nullptr;
    GetClassDevsFn getClassDevs = nullptr;
    GetDeviceRegistryPropertyFn getDeviceRegistryProperty = nullptr;
    EnumDeviceInfoFn enumDeviceInfo = nullptr;
    DestroyDeviceInfoListFn destroyDeviceInfoList = nullptr;
};

// Set by each LoadSetupLibrary; discovery runs on the window thread only.
SetupEntries g_setup;

template <typename Fn>
Fn Lookup(HMODULE library, const char* name) {
    // Through void(*)() so that the conversion from FARPROC is not flagged.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

}  // namespace

bool LoadSetupLibrary() {
    g_setup = SetupEntries();
    char path[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::string full = std::string(path) + "\\SETUPAPI.DLL";
    HMODULE library = LoadLibraryA(full.c_str());
    if (library == nullptr) return false;
    SetupEntries setup;
    setup.openDevRegKey = Lookup<OpenDevRegKeyFn>(library, "SetupDiOpenDevRegKey");
    setup.classGuidsFromName = Lookup<ClassGuidsFromNameFn>(library, "SetupDiClassGuidsFromNameA");
    setup.getClassDevs = Lookup<GetClassDevsFn>(library, "SetupDiGetClassDevsA");
    setup.getDeviceRegistryProperty =
        Lookup<GetDeviceRegistryPropertyFn>(library, "SetupDiGetDeviceRegistryPropertyA");
    setup.enumDeviceInfo = Lookup<EnumDeviceInfoFn>(library, "SetupDiEnumDeviceInfo");
    setup.destroyDeviceInfoList =
        Lookup<DestroyDeviceInfoListFn>(library, "SetupDiDestroyDeviceInfoList");
    if (!setup.openDevRegKey || !setup.classGuidsFromName || !setup.getClassDevs ||
        !setup.getDeviceRegistryProperty || !setup.enumDeviceInfo) {
        return false;
    }
    g_setup = setup;
    return true;
}

BOOL SetupDiClassGuidsFromNameA(PCSTR className, LPGUID guids, DWORD guidsSize,
                                PDWORD requiredSize) {
    return g_setup.classGuidsFromName(className, guids, guidsSize, requiredSize);
}

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags) {
    return g_setup.getClassDevs(classGuid, enumerator, parent, flags);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, PSP_DEVINFO_DATA info) {
    return g_setup.enumDeviceInfo(devices, index, info);
}

HKEY SetupDiOpenDevRegKey(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD scope,
                          DWORD hardwareProfile, DWORD keyType, REGSAM access) {
    return g_setup.openDevRegKey(devices, info, scope, hardwareProfile, keyType, access);
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD property,
                                       PDWORD dataType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize) {
    return g_setup.getDeviceRegistryProperty(devices, info, property, dataType, buffer, bufferSize,
                                             requiredSize);
}

void SetupDiDestroyDeviceInfoList(HDEVINFO devices) {
    if (g_setup.destroyDeviceInfoList != nullptr) g_setup.destroyDeviceInfoList(devices);
}

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result) {
    return ::RegOpenKeyExA(key, subKey, options, access, result);
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
    return ::RegQueryValueExA(key, valueName, reserved, type, data, dataSize);
}

LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    return ::RegEnumValueA(key, index, valueName, valueNameSize, reserved, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    return ::RegCloseKey(key);
}

}  // namespace portapi

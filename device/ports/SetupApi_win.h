// The device-setup library and registry operations that COM port discovery needs on Windows.
//
// SetupApi_win.cpp passes every call to the system; the tests link a model of the documented
// behaviour in its place (tests/device/FakeSetupApi.cpp), so that the discovery above this
// header is tested with ports the machine does not have.
//
// Calls are always written qualified (portapi::RegCloseKey) so that they cannot be confused
// with the global Win32 declarations.
#pragma once

#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

namespace portapi {

// Loads the device-setup library by its full path in the system directory (never from the
// search path; it stays loaded) and looks up SetupDiOpenDevRegKey,
// SetupDiClassGuidsFromNameA, SetupDiGetClassDevsA, SetupDiGetDeviceRegistryPropertyA and
// SetupDiEnumDeviceInfo. False when the library or one of the five cannot be had; the SetupDi
// calls below may then not be made.
bool LoadSetupLibrary();

BOOL SetupDiClassGuidsFromNameA(PCSTR className, LPGUID guids, DWORD guidsSize,
                                PDWORD requiredSize);
HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO devices, DWORD index, PSP_DEVINFO_DATA info);
HKEY SetupDiOpenDevRegKey(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD scope,
                          DWORD hardwareProfile, DWORD keyType, REGSAM access);
BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO devices, PSP_DEVINFO_DATA info, DWORD property,
                                       PDWORD dataType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize);
// Frees a device list; does nothing when the library has no such entry (it is optional).
void SetupDiDestroyDeviceInfoList(HDEVINFO devices);

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
LONG RegCloseKey(HKEY key);

}  // namespace portapi

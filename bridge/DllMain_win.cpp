#include <windows.h>

#include "bridge/ModuleLine.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // Thread attach and detach write nothing; loading never fails.
    if (reason == DLL_PROCESS_ATTACH) {
        bridge::WriteModuleLine(bridge::kAttachMessage);
    } else if (reason == DLL_PROCESS_DETACH) {
        bridge::WriteModuleLine(bridge::kDetachMessage);
    }
    return TRUE;
}

// Windows modules only: announces the module's path to the debugger on attach.
#if defined(_WIN32)
#include <windows.h>

static BOOL module_attach(HMODULE module, DWORD reason) {
    if (reason == DLL_PROCESS_ATTACH) {
        char buff[260];
        DisableThreadLibraryCalls(module);
        OutputDebugStringA("DLL_PROCESS_ATTACH: ");
        GetModuleFileNameA(module, buff, sizeof buff);
        OutputDebugStringA(buff);
        OutputDebugStringA("\n");
    }
    return TRUE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) { return module_attach(module, reason); }
#endif

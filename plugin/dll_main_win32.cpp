// The DLL's entry function: loading and unloading run nothing of the plug-in's own.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}

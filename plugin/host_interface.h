// What crosses the boundary with the host: the calling convention, the callbacks and the
// entry points, all with C linkage. On the 32-bit Windows target every entry point and callback
// is __stdcall: arguments pushed right to left, removed by the called function.
#pragma once

#include <cstdint>

#include "writer/host_image.h"
#include "writer/tiff_encoder.h"

#if defined(_WIN32) && !defined(_WIN64)
#define PLUGIN_CALL __stdcall
#else
#define PLUGIN_CALL
#endif

#if defined(_WIN32)
#define PLUGIN_EXPORT extern "C"
#else
#define PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Host callbacks. Texts are zero-terminated Shift-JIS, valid only during the call.
using ExtensionSink = void(PLUGIN_CALL*)(const char* extension);
using InfoSink = void(PLUGIN_CALL*)(const char* text);
using VerboseSink = void(PLUGIN_CALL*)(int32_t version, const char* name, const char* copyright,
                                       const char* description);
// ProgressSink (row about to be written, 1-based; nonzero stops) comes with the writer.

// The interface version both sides answer, and the plug-in's own version value.
constexpr int32_t kInterfaceVersion = 0x10000;
constexpr int32_t kPluginVersion = 0x1000000;

PLUGIN_EXPORT void PLUGIN_CALL UNITED_SupportedInformation(int32_t* first, int32_t* second);
PLUGIN_EXPORT void PLUGIN_CALL UNITED_Verbose(VerboseSink sink);

PLUGIN_EXPORT void PLUGIN_CALL IMPORT_InterfaceVersion(int32_t* version);
PLUGIN_EXPORT void PLUGIN_CALL IMPORT_SupportedExtensions(ExtensionSink sink);
PLUGIN_EXPORT int32_t PLUGIN_CALL IMPORT_ValidFileCheck(const char* fileName);
PLUGIN_EXPORT void PLUGIN_CALL IMPORT_ImageInformation(const char* fileName, InfoSink sink);
PLUGIN_EXPORT void PLUGIN_CALL IMPORT_CreateImage(const char* fileName, HostImage** out);
PLUGIN_EXPORT void PLUGIN_CALL IMPORT_CreatePreviewImage(const char* fileName, int32_t boxWidth,
                                                         int32_t boxHeight, HostImage** out);
PLUGIN_EXPORT void PLUGIN_CALL IMPORT_FreeImage(HostImage* image);
// Beyond the host interface, for tools: why a file is refused, as a short English text handed
// to `sink` ("Motorola byte order", "predictor 3"); nothing is sent for a readable file.
PLUGIN_EXPORT void PLUGIN_CALL VARNELTIFF_RefusalReason(const char* fileName, InfoSink sink);
// Also for tools: for a readable file, a short English note handed to `sink` for each way its
// picture differs on purpose from a general TIFF reader's ("no colour map, so shown in the
// built-in 256 colours, not as grey"); nothing for a refused file or one read as it says.
PLUGIN_EXPORT void PLUGIN_CALL VARNELTIFF_ReadingNotes(const char* fileName, InfoSink sink);

PLUGIN_EXPORT void PLUGIN_CALL PLUGINCALLBACK(int32_t unused);
PLUGIN_EXPORT void PLUGIN_CALL PLUGOUTCALLBACK();
PLUGIN_EXPORT void PLUGIN_CALL EXPORT_InterfaceVersion(int32_t* version);
PLUGIN_EXPORT void PLUGIN_CALL EXPORT_SupportedExtensions(ExtensionSink sink);
PLUGIN_EXPORT void PLUGIN_CALL EXPORT_EnterOption(void* ownerWindow, void* parentWindow,
                                                  int32_t unused);
PLUGIN_EXPORT void PLUGIN_CALL EXPORT_LeaveOption(int32_t accept);
PLUGIN_EXPORT void PLUGIN_CALL EXPORT_BeforeTransform(int32_t* transformCode, int32_t unused);
PLUGIN_EXPORT int32_t PLUGIN_CALL EXPORT_WriteToFile(const char* fileName, const HostImage* image,
                                                     ProgressSink progress);

// The plug-in's identity, shared by the import and export sides.
#include "plugin/host_interface.h"
#include "plugin/texts.h"

PLUGIN_EXPORT void PLUGIN_CALL UNITED_SupportedInformation(int32_t* first, int32_t* second) {
  *first = 1;
  *second = 1;
}

PLUGIN_EXPORT void PLUGIN_CALL UNITED_Verbose(VerboseSink sink) {
  sink(kPluginVersion, kDisplayName, kCopyrightLine, kDescription);
}

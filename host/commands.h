// The tool's commands, each run against the loaded plug-in; each returns the exit status.
#pragma once

#include "host/command_line.h"
#include "host/plugin_library.h"

int RunCheck(const Options& options, PluginLibrary& plugin);
int RunInfo(const Options& options, PluginLibrary& plugin);
int RunImport(const Options& options, PluginLibrary& plugin);
int RunExport(const Options& options, PluginLibrary& plugin);
#if defined(_WIN32)
int RunDialog(const Options& options, PluginLibrary& plugin);
#endif
// --version: the tool's version and, when it loads, the plug-in's own identity.
int RunVersion(PluginLibrary* plugin);

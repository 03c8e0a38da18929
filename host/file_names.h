// File names as the system gives them: byte strings in the system's own encoding (the ANSI code
// page on Windows, where a double-byte character's second byte may equal a backslash).
#pragma once

#include <cstdint>
#include <string>

// The name without its folder and without its last extension.
std::string BaseName(const std::string& path);
// The last extension, in lower case and without its dot ("TIF" gives "tif"); empty when none.
std::string ExtensionOf(const std::string& path);
// The folder the path names a file in: "." when it names none.
std::string FolderName(const std::string& path);
// `name` inside `folder`.
std::string JoinPath(const std::string& folder, const std::string& name);
bool IsFolder(const std::string& path);
// The bytes a new file in `folder` may still take; the most there is when the system cannot say.
uint64_t FreeBytes(const std::string& folder);
// Creates the folder and any missing parents; false with the system's reason.
bool MakeFolders(const std::string& path, std::string& error);

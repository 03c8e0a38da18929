// Writing a file so that the one it replaces changes only when the new one is complete: a new
// file beside the target, under a name no other file has, moved over the target at the end.
// Names are byte strings as the host gives them (Shift-JIS on Windows), used unconverted.
#pragma once

#include <string>

// The file that writing to `name` replaces: a symbolic link is followed, so that the file it
// names gets the new content, as writing through the link would give it.
std::string FileToReplace(const char* name);

// Creates a new, empty file in the folder of `target`, named after it with a suffix of its own;
// returns its name, or an empty name when no file can be made there, or when `target` exists
// and is a folder or may not be written. The new file takes the target's permissions.
std::string CreateFileBeside(const std::string& target);

// Puts the complete, closed `temporary` in the place of `target` in one step: its bytes reach
// the disk first, then it replaces the target (or takes the free name). False when that fails,
// and then the target is as it was; the caller removes the temporary file.
bool MoveIntoPlace(const std::string& temporary, const std::string& target);

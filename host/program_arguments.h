// The program's arguments as the plug-in's names need them. On Windows they are read in UTF-16
// and turned into the ANSI code page (Shift-JIS on a Japanese system), and a wildcard in the
// last part of a name is expanded, since Windows shells leave that to the program.
#pragma once

#include <string>
#include <vector>

// False with a reason when a name cannot be given to the plug-in (it has characters the code
// page lacks).
bool ProgramArguments(int argc, char** argv, std::vector<std::string>& arguments,
                      std::string& error);

// The Windows tests run twice, in a 32-bit Wine prefix (32-bit Windows) and in a 64-bit one
// (64-bit Windows, where the host and the plug-in are a WoW64 process): this checks that each run
// is what its name says, so that the two cannot quietly be the same setting.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

TEST(ProcessKind, IsTheKindOfWindowsTheRunIsNamedFor) {
  const char* kind = std::getenv("VARNELTIFF_WINE_KIND");
  if (kind == nullptr) GTEST_SKIP() << "not run by CTest: no kind of prefix named";
  const bool wow64Expected = std::string(kind) == "wow64";

  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, wow64Expected) << kind;

  // Only a 64-bit Windows has the folder of the 32-bit system libraries, SysWOW64.
  char folder[MAX_PATH] = {};
  EXPECT_EQ(GetSystemWow64DirectoryA(folder, MAX_PATH) != 0, wow64Expected) << folder;
}

}  // namespace

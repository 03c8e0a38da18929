// Calls every entry point the way the host does, through the DLL's export table with arguments
// pushed on the stack, and checks how many stack bytes each removed; also checks that the
// plug-in calls the host's callbacks with the arity the host expects.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/plugin_loader.h"

extern "C" {
int CallAndMeasure(void* function, const uint32_t* args, int count, uint32_t* result);
void OneArgumentCallback();
void FourArgumentCallback();
extern uint32_t gCallbackStack;
// The four argument words of the last callback. Declared as pointers, not integers: from a
// pointer made of a word of a 16-byte integer array, mingw g++ 12 at -O3 bounds the text's length
// by the array's size, builds a std::string of it in the 16-byte inline buffer without allocating,
// and a longer text then runs over the caller's stack.
extern void* gCallbackArguments[4];
}

namespace {

uint32_t Word(const void* pointer) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer));
}

// A 2x2 stored 8-bit TIFF without a colour map.
std::string WriteTinyTiff() {
  const uint8_t bytes[] = {'I',  'I',  42, 0, 8, 0, 0, 0,               // header, directory at 8
                           4,    0,                                     // four entries
                           0x00, 0x01, 3,  0, 1, 0, 0, 0, 2,  0, 0, 0,  // ImageWidth 2
                           0x01, 0x01, 3,  0, 1, 0, 0, 0, 2,  0, 0, 0,  // ImageLength 2
                           0x02, 0x01, 3,  0, 1, 0, 0, 0, 8,  0, 0, 0,  // BitsPerSample 8
                           0x11, 0x01, 4,  0, 1, 0, 0, 0, 62, 0, 0, 0,  // StripOffsets 62
                           0,    0,    0,  0,                           // no next directory
                           1,    2,    3,  4};                          // the pixels
  const std::string path = ProgramFolder() + "stack_bytes_tiny.tif";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return path;
}

struct Call {
  const char* name;
  std::vector<uint32_t> arguments;
  int expectedBytes;
};

TEST(StackBytes, EveryEntryPointRemovesExactlyItsArguments) {
  const PluginLibrary& plugin = Plugin();
  const std::string tiny = WriteTinyTiff();
  const std::string missing = ProgramFolder() + "stack_bytes_missing.tif";
  int32_t first = 0, second = 0, version = 0;
  HostImage* image = nullptr;
  HostImage* preview = nullptr;
  const uint32_t one = Word(reinterpret_cast<void*>(&OneArgumentCallback));
  const uint32_t four = Word(reinterpret_cast<void*>(&FourArgumentCallback));

  const std::vector<Call> calls = {
      {"UNITED_SupportedInformation", {Word(&first), Word(&second)}, 8},
      {"UNITED_Verbose", {four}, 4},
      {"IMPORT_InterfaceVersion", {Word(&version)}, 4},
      {"IMPORT_SupportedExtensions", {one}, 4},
      {"IMPORT_ValidFileCheck", {Word(tiny.c_str())}, 4},
      {"IMPORT_ImageInformation", {Word(tiny.c_str()), one}, 8},
      {"IMPORT_CreateImage", {Word(tiny.c_str()), Word(&image)}, 8},
      {"IMPORT_CreatePreviewImage", {Word(tiny.c_str()), 1, 1, Word(&preview)}, 16},
      {"IMPORT_FreeImage", {Word(nullptr)}, 4},
      {"VARNELTIFF_RefusalReason", {Word(tiny.c_str()), one}, 8},
      {"VARNELTIFF_RefusalReason", {Word(missing.c_str()), one}, 8},
      {"VARNELTIFF_ReadingNotes", {Word(tiny.c_str()), one}, 8},
  };
  for (const Call& call : calls) {
    void* function = plugin.Find(call.name);
    ASSERT_NE(function, nullptr) << call.name;
    uint32_t result = 0;
    const int removed = CallAndMeasure(function, call.arguments.data(),
                                       static_cast<int>(call.arguments.size()), &result);
    EXPECT_EQ(removed, call.expectedBytes) << call.name;
  }
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(version, 0x10000);
  ASSERT_NE(image, nullptr);
  ASSERT_NE(preview, nullptr);
  for (HostImage* record : {image, preview}) {
    const uint32_t argument = Word(record);
    uint32_t result = 0;
    EXPECT_EQ(CallAndMeasure(plugin.Find("IMPORT_FreeImage"), &argument, 1, &result), 4);
  }
  std::remove(tiny.c_str());
}

TEST(StackBytes, VerboseSinkGetsFourArguments) {
  const uint32_t four = Word(reinterpret_cast<void*>(&FourArgumentCallback));
  uint32_t result = 0;
  gCallbackArguments[0] = nullptr;
  EXPECT_EQ(CallAndMeasure(Plugin().Find("UNITED_Verbose"), &four, 1, &result), 4);
  EXPECT_EQ(Word(gCallbackArguments[0]), 0x1000000u);
  EXPECT_STREQ(static_cast<const char*>(gCallbackArguments[1]), "VarnelTiff");
  EXPECT_NE(gCallbackArguments[2], nullptr);
  EXPECT_EQ(static_cast<const char*>(gCallbackArguments[3])[0], 'P');
}

TEST(StackBytes, OneArgumentSinksGetTheirText) {
  const uint32_t one = Word(reinterpret_cast<void*>(&OneArgumentCallback));
  uint32_t result = 0;
  const std::string missing = ProgramFolder() + "no such file.tif";
  const uint32_t arguments[] = {Word(missing.c_str()), one};
  EXPECT_EQ(CallAndMeasure(Plugin().Find("IMPORT_ImageInformation"), arguments, 2, &result), 8);
  EXPECT_EQ(std::string(static_cast<const char*>(gCallbackArguments[0])).size(), 80u);
  EXPECT_EQ(CallAndMeasure(Plugin().Find("IMPORT_SupportedExtensions"), &one, 1, &result), 4);
  EXPECT_STREQ(static_cast<const char*>(gCallbackArguments[0]), "tiff");
}

}  // namespace

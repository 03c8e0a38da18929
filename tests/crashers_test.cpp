// Every input that ever made a fuzz target fail, kept in tests/data/crashers and named after its
// target (lzw-, read_pass-, differential-, writer-), runs through the same checks again and must
// pass them; a file image of either read target runs through both.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/differential_harness.h"
#include "fuzz/lzw_harness.h"
#include "fuzz/read_pass_harness.h"
#include "fuzz/writer_harness.h"
#include "tests/temp_file.h"

namespace {

std::vector<std::string> CrasherNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(VARNELTIFF_CRASHERS, error)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> ReadCrasher(const std::string& name) {
  std::ifstream file(std::string(VARNELTIFF_CRASHERS) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

class Crasher : public ::testing::TestWithParam<std::string> {};

TEST_P(Crasher, PassesItsTargetsChecks) {
  const std::string& name = GetParam();
  const std::vector<uint8_t> bytes = ReadCrasher(name);
  ASSERT_FALSE(bytes.empty() && name.find("empty") == std::string::npos);
  if (StartsWith(name, "lzw-")) {
    EXPECT_EQ(CheckLzwExpansion(bytes.data(), bytes.size()), "");
  } else if (StartsWith(name, "read_pass-") || StartsWith(name, "differential-")) {
    EXPECT_EQ(CheckReadPass(bytes.data(), bytes.size()), "");
    EXPECT_EQ(CheckPathsAgree(bytes.data(), bytes.size()), "");
    // And in every other way a host reads it.
    for (const TReadOptions& options :
         {TReadOptions{TReadMode::InfoOnly}, TReadOptions{TReadMode::Full},
          TReadOptions{TReadMode::Preview, 1, 1}, TReadOptions{TReadMode::Preview, 64, 64},
          TReadOptions{TReadMode::Preview, 2147483647, 2147483647}}) {
      EXPECT_EQ(CheckRead(bytes.data(), bytes.size() >= 3 ? bytes.size() - 3 : 0, options), "");
    }
  } else if (StartsWith(name, "writer-")) {
    EXPECT_EQ(CheckWrite(bytes.data(), bytes.size(),
                         ::testing::TempDir() + "crasher-writer-" + ProcessTag() + ".tif"),
              "");
  } else {
    ADD_FAILURE() << name << " names no fuzz target";
  }
}

INSTANTIATE_TEST_SUITE_P(Crashers, Crasher, ::testing::ValuesIn(CrasherNames()),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param) name += std::isalnum(c) ? c : '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Crasher);

}  // namespace

// Test helper: a temporary file holding given bytes, named after the running test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/process_tag.h"

// A file holding `bytes` for the life of the object, named after the running test.
class TTempFile {
 public:
  explicit TTempFile(const std::vector<uint8_t>& bytes) {
    static int counter = 0;
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "_" + test->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    path =
        ::testing::TempDir() + name + "_" + ProcessTag() + "_" + std::to_string(counter++) + ".tif";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file == nullptr) return;
    if (!bytes.empty()) {
      EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    }
    std::fclose(file);
  }
  ~TTempFile() { std::remove(path.c_str()); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  std::string path;
};

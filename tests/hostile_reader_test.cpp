// The reader against hand-made hostile files: each is refused, or read within bounds into an
// image of its declared size, in every way a host reads it (information only, full size and
// previews of every box), with the checks of the read-pass fuzz target.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/read_pass_harness.h"
#include "reader/tiff_decoder.h"
#include "tests/hostile_files.h"
#include "tests/temp_file.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

namespace {

// Full-size reads up to this buffer size: the bomb's 64 MiB is read, the 1 to 4 GiB of the
// largest images only as previews and reports.
constexpr int64_t kLargestHostileBuffer = 256 << 20;

struct TWay {
  const char* name;
  TReadOptions options;
};

const TWay kWays[] = {
    {"information", {TReadMode::InfoOnly, 64, 64, kLargestHostileBuffer}},
    {"full size", {TReadMode::Full, 64, 64, kLargestHostileBuffer}},
    {"preview 1x1", {TReadMode::Preview, 1, 1, kLargestHostileBuffer}},
    {"preview 64x64", {TReadMode::Preview, 64, 64, kLargestHostileBuffer}},
    {"preview 2147483647", {TReadMode::Preview, 2147483647, 2147483647, kLargestHostileBuffer}},
    {"preview 0x-1", {TReadMode::Preview, 0, -1, kLargestHostileBuffer}},
};

class HostileReader : public ::testing::TestWithParam<THostileFile> {};

TEST_P(HostileReader, RefusedOrReadToItsDeclaredSize) {
  const THostileFile& file = GetParam();
  const bool read = file.answer == THostileAnswer::Read;
  for (const TWay& way : kWays) {
    SCOPED_TRACE(way.name);
    TReadOutcome outcome;
    EXPECT_EQ(CheckRead(file.bytes.data(), file.bytes.size(), way.options, &outcome), "");
    EXPECT_EQ(outcome.accepted, read);
    if (!read || way.options.mode == TReadMode::InfoOnly || outcome.skipped) continue;
    if (way.options.mode == TReadMode::Full) {
      EXPECT_EQ(outcome.outWidth, file.width);
      EXPECT_EQ(outcome.outHeight, file.height);
      if (!file.firstBytes.empty()) {
        ASSERT_GE(outcome.firstBytes.size(), file.firstBytes.size());
        EXPECT_EQ(std::vector<uint8_t>(
                      outcome.firstBytes.begin(),
                      outcome.firstBytes.begin() + std::ptrdiff_t(file.firstBytes.size())),
                  file.firstBytes);
      }
    } else {
      // A preview is the declared image reduced, never larger.
      EXPECT_LE(outcome.outWidth, file.width);
      EXPECT_LE(outcome.outHeight, file.height);
      EXPECT_GE(outcome.outWidth, 1);
      EXPECT_GE(outcome.outHeight, 1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileReader, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) {
                           std::string name;
                           for (char c : info.param.name) name += std::isalnum(c) ? c : '_';
                           return name;
                         });

// 32767 x 32767 colour words need a 4 GiB buffer: a process that cannot hold it gets no image,
// while the file still counts as readable.
std::vector<uint8_t> LargestColourFile() {
  TTiffBuilder builder;
  builder.Image(32767, 32767, {16}, 1, {0xFF, 0x7F});
  return builder.Bytes();
}

bool DecodeBytes(TTiffDecoder& decoder, const std::vector<uint8_t>& bytes) {
  TTempFile file(bytes);
  return decoder.Decode(file.path.c_str());
}

TEST(HostileMemory, ABufferTheProcessCannotHoldGivesNoImage) {
  const std::vector<uint8_t> bytes = LargestColourFile();
  TTiffDecoder info;
  info.infoOnly = true;
  EXPECT_TRUE(DecodeBytes(info, bytes));
  if constexpr (sizeof(size_t) == 4) {
    // 4 GiB is more than a 32-bit process can address.
    TTiffDecoder decoder;
    EXPECT_FALSE(DecodeBytes(decoder, bytes));
    EXPECT_EQ(decoder.pixels, nullptr);
    return;
  }
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
  GTEST_SKIP() << "needs an address-space limit, which AddressSanitizer cannot run under";
#else
  // A child process limited to 2 GiB of address space reads the file.
  const auto readLimited = [&bytes] {
    const rlimit limit = {rlim_t{2} << 30, rlim_t{2} << 30};
    setrlimit(RLIMIT_AS, &limit);
    TTiffDecoder decoder;
    const bool decoded = DecodeBytes(decoder, bytes);
    std::exit(!decoded && decoder.pixels == nullptr ? 0 : 1);
  };
  EXPECT_EXIT(readLimited(), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace

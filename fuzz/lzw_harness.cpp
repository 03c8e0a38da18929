// Runs the byte form, the run form and the flat form of the LZW expander over one code stream
// and compares what they hand on. The byte form is the plain reading of the code rules; the run
// form must hand on exactly the same bytes and refuse at the same place, and the flat form must
// write exactly those bytes into a block as long as the limit.
#include "fuzz/lzw_harness.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "lzw/lzw_compressor.h"

namespace {

// Collects output up to a limit; the byte at the limit is refused.
struct TByteSink {
  std::vector<uint8_t> bytes;
  size_t limit = SIZE_MAX;
  bool notAByte = false;
  int Put(int value) {
    if (value < 0 || value > 255) notAByte = true;
    if (bytes.size() >= limit) return -1;
    bytes.push_back(static_cast<uint8_t>(value));
    return 0;
  }
};

struct TByteSource {
  const uint8_t* data;
  size_t size;
  size_t next = 0;
  int Get() { return next < size ? data[next++] : -1; }
};

// Takes runs up to the limit; a run that crosses it is taken up to the limit and refused.
struct TRunSink {
  std::vector<uint8_t> bytes;
  size_t limit = SIZE_MAX;
  size_t emptyRuns = 0;
  int Put(const uint8_t* run, size_t count) {
    if (count == 0) ++emptyRuns;
    const size_t room = limit - std::min(limit, bytes.size());
    bytes.insert(bytes.end(), run, run + std::min(count, room));
    return count > room ? -1 : 0;
  }
};

// Hands the stream over in pieces of pseudo-random sizes, from one byte to all that is left.
struct TRunSource {
  const uint8_t* data;
  size_t size;
  uint32_t seed;
  size_t next = 0;
  size_t Get(const uint8_t** piece) {
    if (next >= size) return 0;
    seed = seed * 1103515245u + 12345u;
    const uint32_t choice = seed >> 16;
    size_t length = choice % 4 == 0 ? size - next : 1 + choice % 97;
    length = std::min(length, size - next);
    *piece = data + next;
    next += length;
    return length;
  }
};

std::string Describe(const char* what, size_t a, size_t b) {
  return std::string(what) + " (" + std::to_string(a) + " against " + std::to_string(b) + ")";
}

}  // namespace

std::string CheckLzwExpansion(const uint8_t* data, size_t size) {
  if (size < 3) return {};
  // Outputs are kept to 1 MiB so that a run stays fast (the byte form costs a call per byte);
  // bombs still reach the limit.
  const size_t limitField = data[0] | size_t{data[1]} << 8;
  const size_t limit = limitField == 0xFFFF ? size_t{1} << 20 : limitField * 2;
  const uint32_t seed = data[2];
  const uint8_t* stream = data + 3;
  const size_t streamSize = size - 3;

  TLZWCompressor byteForm;
  if (!byteForm.IsReady()) return {};
  TByteSink byteSink{{}, limit, false};
  TByteSource byteSource{stream, streamSize};
  const bool byteResult =
      byteForm.Execute(BindPutByte<TByteSink, &TByteSink::Put>(&byteSink),
                       BindGetByte<TByteSource, &TByteSource::Get>(&byteSource));

  // The run form on one object for every input, with pieces of random sizes: nothing of a
  // pass may leak into the next one. (A fresh object per input would also spend most of each
  // run on faulting in its new output window.)
  static TLZWCompressor runForm;
  TRunSink runSink{{}, limit};
  TRunSource runSource{stream, streamSize, seed};
  const bool runResult = runForm.Execute(BindPutBytes<TRunSink, &TRunSink::Put>(&runSink),
                                         BindGetBytes<TRunSource, &TRunSource::Get>(&runSource));
  if (runSink.emptyRuns != 0) return "the run form handed over an empty run";
  if (runResult != byteResult) {
    return Describe("the passes disagree on a refusal", runSink.bytes.size(),
                    byteSink.bytes.size());
  }
  if (runSink.bytes.size() != byteSink.bytes.size()) {
    return Describe("the passes hand on different lengths", runSink.bytes.size(),
                    byteSink.bytes.size());
  }
  const auto mismatch =
      std::mismatch(runSink.bytes.begin(), runSink.bytes.end(), byteSink.bytes.begin());
  if (mismatch.first != runSink.bytes.end()) {
    return Describe("the passes hand on different bytes at",
                    static_cast<size_t>(mismatch.first - runSink.bytes.begin()), 0);
  }
  if (byteSink.notAByte) return "the byte form handed on a value outside 0..255";

  // The flat form into a block of exactly `limit` bytes, with guard bytes behind it: it must
  // write exactly the bytes the byte form handed on, and nothing past the block. The block is
  // the end of one allocation kept for every run (a fresh one costs page faults each time), so
  // that the address checks still catch a write past the guard; only the bytes the form may
  // touch are marked.
  constexpr size_t kGuard = 64;
  constexpr size_t kLargestBlock = (size_t{1} << 20) + kGuard;
  static const std::unique_ptr<uint8_t[]> storage(new uint8_t[kLargestBlock]);
  const size_t blockSize = limit + kGuard;
  uint8_t* const block = storage.get() + (kLargestBlock - blockSize);
  std::memset(block, 0xA5, std::min(limit, byteSink.bytes.size() + kGuard));
  std::memset(block + limit, 0xA5, kGuard);
  static TLZWCompressor flatForm;
  TRunSource flatSource{stream, streamSize, seed};
  const int64_t written = flatForm.ExpandInto(
      block, static_cast<int64_t>(limit), BindGetBytes<TRunSource, &TRunSource::Get>(&flatSource));
  if (written < 0) return "the flat form failed";
  if (static_cast<size_t>(written) != byteSink.bytes.size()) {
    return Describe("the flat form writes a different length", static_cast<size_t>(written),
                    byteSink.bytes.size());
  }
  if (!std::equal(byteSink.bytes.begin(), byteSink.bytes.end(), block)) {
    return "the flat form writes different bytes";
  }
  for (size_t i = limit; i < blockSize; ++i) {
    if (block[i] != 0xA5) return "the flat form wrote past its block";
  }
  return {};
}

// Tests of the TIFF LZW decoder: the bit layer, width changes, clears, damaged and truncated
// streams, refused output, and round trips through a small encoder that exists only here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "lzw/lzw_compressor.h"
#include "tests/lzw_streams.h"

using Bytes = std::vector<uint8_t>;

namespace {
bool failNothrowNew = false;
}

// Lets a test make the decoder's table allocation fail.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (failNothrowNew) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

using lzw_streams::Clear;
using lzw_streams::Encode;
using lzw_streams::End;
using lzw_streams::RandomCodes;
using lzw_streams::TBitWriter;

struct TByteSource {
  Bytes bytes;
  size_t pulled = 0;
  int Next() { return pulled < bytes.size() ? bytes[pulled++] : -1; }
};

struct TByteSink {
  Bytes bytes;
  size_t refuseAfter = SIZE_MAX;
  int Put(int value) {
    if (bytes.size() >= refuseAfter) return -1;
    bytes.push_back(uint8_t(value));
    return 0;
  }
};

Bytes Pack9(std::initializer_list<int> codes) {
  TBitWriter writer;
  for (int code : codes) writer.Write(code, 9);
  return writer.bytes;
}

struct TDecoded {
  bool ok;
  Bytes bytes;
  size_t pulled;
};

TDecoded Decode(TLZWCompressor& lzw, const Bytes& stream, size_t refuseAfter = SIZE_MAX) {
  TByteSource source{stream};
  TByteSink sink{{}, refuseAfter};
  const bool ok = lzw.Execute(BindPutByte<TByteSink, &TByteSink::Put>(&sink),
                              BindGetByte<TByteSource, &TByteSource::Next>(&source));
  return {ok, sink.bytes, source.pulled};
}

TDecoded Decode(const Bytes& stream, size_t refuseAfter = SIZE_MAX) {
  TLZWCompressor lzw;
  return Decode(lzw, stream, refuseAfter);
}

// Literal codes only: after a clear each one but the first adds an entry, so code k (from 1)
// adds entry 256 + k. The width grows once entries 510, 1022 and 2046 are in: after codes 254,
// 766 and 1790.
int LiteralWidth(int k) {
  return k <= 254 ? 9 : k <= 766 ? 10 : k <= 1790 ? 11 : 12;
}

TEST(LzwBitReader, CutsBytesIntoCodes) {
  struct TRead {
    int width, code;
    size_t pulledAfter;
  };
  TBitWriter eightCodes;
  for (int code = 500; code < 508; ++code) eightCodes.Write(code, 9);
  eightCodes.bytes.push_back(0xA5);
  TBitWriter mixed;
  mixed.Write(300, 9), mixed.Write(1000, 10), mixed.Write(2047, 11), mixed.Write(4095, 12);
  mixed.Write(5, 3);
  const struct {
    const char* name;
    Bytes input;
    std::vector<TRead> reads;
  } cases[] = {
      {"six zero bits are no code", {0x80, 0x10, 0x40}, {{9, 256, 2}, {9, 65, 3}, {9, -1, 3}}},
      {"eight codes fill nine bytes",
       eightCodes.bytes,
       {{9, 500, 2},
        {9, 501, 3},
        {9, 502, 4},
        {9, 503, 5},
        {9, 504, 6},
        {9, 505, 7},
        {9, 506, 8},
        {9, 507, 9},
        {8, 0xA5, 10}}},
      {"width changes without padding",
       mixed.bytes,
       {{9, 300, 2}, {10, 1000, 3}, {11, 2047, 4}, {12, 4095, 6}, {3, 5, 6}, {12, -1, 6}}},
      {"empty input", {}, {{9, -1, 0}}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TByteSource source{test.input};
    TLZWCompressor lzw;
    lzw.SetInput(BindGetByte<TByteSource, &TByteSource::Next>(&source));
    lzw.ResetBits();
    for (const TRead& read : test.reads) {
      EXPECT_EQ(lzw.ReadCode(read.width), read.code);
      EXPECT_EQ(source.pulled, read.pulledAfter);
    }
  }
}

TEST(LzwDecoder, DecodesHandBuiltStreams) {
  const Bytes example = {0x80, 0x10, 0x60, 0x50, 0x10};
  const struct {
    const char* name;
    Bytes stream;
    std::string expected;
    size_t pulled;
  } cases[] = {
      {"worked example", example, "AAA", 5},
      {"nothing after the end code is read", {0x80, 0x10, 0x60, 0x50, 0x10, 0xFF, 0xFF}, "AAA", 5},
      {"end code on a byte boundary", Pack9({Clear, 'A', 'B', 'C', 'D', 'E', 'F', End, 'G'}),
       "ABCDEF", 9},
      {"clear and end", Pack9({Clear, End}), "", 3},
      {"empty input", {}, "", 0},
      {"truncated before the first code", {0x80, 0x10}, "", 2},
      {"truncated inside a code", {0x80, 0x10, 0x60}, "A", 3},
      {"truncated before the end code", {0x80, 0x10, 0x60, 0x50}, "AAA", 4},
      {"clear in the middle", Pack9({Clear, 'A', 'B', 258, Clear, 'C', 258, End}), "ABABCCC", 9},
      {"no clear at the start", Pack9({'A', 'B', 258, End}), "ABAB", 5},
      {"defining code at the start", Pack9({'A', 258, End}), "AAA", 4},
      {"clear after clear", Pack9({Clear, Clear, 'A', 257}), "A", 5},
      {"code above the next free one", Pack9({Clear, 'A', 300, 'B', End}), "A", 4},
      {"string code right after a clear", Pack9({Clear, 258, 'A', End}), "", 3},
      {"high code right after a clear", Pack9({Clear, 511, 'A', End}), "", 3},
      {"string code at the start", Pack9({258, 'A', End}), "", 2},
      {"high code after a clear in the middle", Pack9({Clear, 'A', 'B', Clear, 259, End}), "AB", 6},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const TDecoded result = Decode(test.stream);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(std::string(result.bytes.begin(), result.bytes.end()), test.expected);
    EXPECT_EQ(result.pulled, test.pulled);
  }
}

TEST(LzwDecoder, WidthGrowsAfterEntries510And1022And2046) {
  // Literal streams that end on either side of each width change, and far past a full table.
  for (int count : {253, 254, 255, 765, 766, 767, 1789, 1790, 1791, 3838, 3839, 3840, 6000}) {
    SCOPED_TRACE(count);
    TBitWriter writer;
    Bytes expected;
    writer.Write(Clear, 9);
    for (int k = 1; k <= count; ++k) {
      writer.Write(k * 7 % 256, LiteralWidth(k));
      expected.push_back(uint8_t(k * 7));
    }
    writer.Write(End, LiteralWidth(count + 1));
    const TDecoded result = Decode(writer.bytes);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, expected);
    EXPECT_EQ(result.pulled, writer.bytes.size());
  }
}

TEST(LzwDecoder, ClearReturnsToNineBitsAndFullTableKeepsDecoding) {
  // 3900 literals fill the table; entry 4095 is the 3838th literal followed by the 3839th. A
  // full table still decodes codes at 12 bits; a clear brings back 9 bits and entry 258.
  TBitWriter writer;
  Bytes expected;
  writer.Write(Clear, 9);
  for (int k = 1; k <= 3900; ++k) {
    writer.Write(k % 251, LiteralWidth(k));
    expected.push_back(uint8_t(k % 251));
  }
  for (int i = 0; i < 2; ++i) {
    writer.Write(4095, 12);
    expected.insert(expected.end(), {uint8_t(3838 % 251), uint8_t(3839 % 251)});
  }
  writer.Write(Clear, 12);
  writer.Write('X', 9), writer.Write('Y', 9), writer.Write(258, 9), writer.Write(End, 9);
  expected.insert(expected.end(), {'X', 'Y', 'X', 'Y'});
  const TDecoded result = Decode(writer.bytes);
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.bytes, expected);
  EXPECT_EQ(result.pulled, writer.bytes.size());
}

TEST(LzwDecoder, RefusedOutputEndsThePass) {
  const Bytes example = {0x80, 0x10, 0x60, 0x50, 0x10};
  for (size_t refuseAfter : {0, 1, 2}) {
    SCOPED_TRACE(refuseAfter);
    const TDecoded result = Decode(example, refuseAfter);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.bytes, Bytes(refuseAfter, 'A'));
  }
}

TEST(LzwDecoder, MissingTableFailsAtOnce) {
  failNothrowNew = true;
  TLZWCompressor lzw;
  failNothrowNew = false;
  EXPECT_FALSE(lzw.IsReady());
  const TDecoded result = Decode(lzw, {0x80, 0x10, 0x60, 0x50, 0x10});
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.bytes.empty());
  EXPECT_EQ(result.pulled, 0u);
}

Bytes RandomBytes(size_t size, int values, unsigned seed) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (uint8_t& byte : data) byte = uint8_t(random() % values);
  return data;
}

TEST(LzwDecoder, TruncatedStreamKeepsWhatWasDecodedAndNextPassStartsFresh) {
  TLZWCompressor lzw;
  const Bytes data = RandomBytes(20000, 256, 7);
  Bytes stream = Encode(data, false);
  stream.resize(stream.size() - 3);  // ends inside a 12-bit code
  const TDecoded first = Decode(lzw, stream);
  EXPECT_TRUE(first.ok);
  EXPECT_GT(first.bytes.size(), 19000u);
  EXPECT_LT(first.bytes.size(), data.size());
  EXPECT_TRUE(Bytes(data.begin(), data.begin() + first.bytes.size()) == first.bytes);
  const TDecoded second = Decode(lzw, {0x80, 0x10, 0x60, 0x50, 0x10});
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(second.bytes, Bytes(3, 'A'));
}

TEST(LzwDecoder, RoundTripsThroughAnEncoder) {
  const struct {
    const char* name;
    Bytes data;
  } inputs[] = {
      {"empty", {}},
      {"one byte", {42}},
      {"two bytes", {42, 42}},
      {"random 1000", RandomBytes(1000, 256, 1)},
      {"random 200000", RandomBytes(200000, 256, 2)},
      {"two symbols", RandomBytes(300000, 2, 3)},
      {"zeros 5000", Bytes(5000, 0)},
      {"zeros 8000000", Bytes(8000000, 0)},  // strings up to the longest, 3839 bytes
  };
  for (const auto& input : inputs) {
    for (bool clearWhenFull : {true, false}) {
      SCOPED_TRACE(std::string(input.name) + (clearWhenFull ? ", clearing" : ", full table"));
      Bytes stream = Encode(input.data, clearWhenFull);
      const size_t streamSize = stream.size();
      stream.insert(stream.end(), {0xFF, 0xFF, 0xFF});
      const TDecoded result = Decode(stream);
      EXPECT_TRUE(result.ok);
      EXPECT_TRUE(result.bytes == input.data);
      EXPECT_EQ(result.pulled, streamSize);
    }
  }
}

// The run form: input in pieces of a fixed size, output collected run by run.
struct TPieceSource {
  Bytes bytes;
  size_t pieceSize;
  size_t pulled = 0;
  size_t Next(const uint8_t** piece) {
    const size_t count = std::min(pieceSize, bytes.size() - pulled);
    *piece = bytes.data() + pulled;
    pulled += count;
    return count;
  }
};

struct TRunSink {
  Bytes bytes;
  size_t runs = 0;
  size_t refuseFromRun = SIZE_MAX;
  int Put(const uint8_t* run, size_t count) {
    if (runs++ >= refuseFromRun) return -1;
    bytes.insert(bytes.end(), run, run + count);
    return 0;
  }
};

TDecoded DecodeRuns(TLZWCompressor& lzw, const Bytes& stream, size_t pieceSize,
                    size_t refuseFromRun = SIZE_MAX) {
  TPieceSource source{stream, pieceSize};
  TRunSink sink{{}, 0, refuseFromRun};
  const bool ok = lzw.Execute(BindPutBytes<TRunSink, &TRunSink::Put>(&sink),
                              BindGetBytes<TPieceSource, &TPieceSource::Next>(&source));
  return {ok, sink.bytes, source.pulled};
}

struct TStreamCase {
  const char* name;
  Bytes stream;
};

// Streams valid and damaged, short and longer than the run form's window.
std::vector<TStreamCase> StreamCases() {
  constexpr size_t kWindow = TLZWCompressor::WindowSize;
  Bytes damaged = Encode(RandomBytes(20000, 256, 7), false);
  damaged.resize(damaged.size() - 3);
  return {
      {"worked example", {0x80, 0x10, 0x60, 0x50, 0x10}},
      {"empty input", {}},
      {"truncated inside a code", {0x80, 0x10, 0x60}},
      {"clear in the middle", Pack9({Clear, 'A', 'B', 258, Clear, 'C', 258, End})},
      {"no clear at the start", Pack9({'A', 'B', 258, End})},
      {"defining code at the start", Pack9({'A', 258, End})},
      {"clear after clear", Pack9({Clear, Clear, 'A', 257})},
      {"code above the next free one", Pack9({Clear, 'A', 300, 'B', End})},
      {"string code right after a clear", Pack9({Clear, 258, 'A', End})},
      {"truncated in a 12-bit code", damaged},
      // Past the window: strings are copied from the kept history or, when their place has been
      // handed over (a full table keeps old entries), spelled from the table.
      {"random, full table", Encode(RandomBytes(3 * kWindow, 256, 4), false)},
      {"random, clearing", Encode(RandomBytes(3 * kWindow, 256, 5), true)},
      {"two symbols, full table", Encode(RandomBytes(4 * kWindow, 2, 6), false)},
      {"zeros, longest strings", Encode(Bytes(3 * kWindow + 5, 0), true)},
  };
}

TEST(LzwRunDecoder, AgreesWithTheByteFormOnEveryStream) {
  const std::vector<TStreamCase> cases = StreamCases();
  TLZWCompressor lzw;  // one object for every pass, as the reader uses it
  for (const TStreamCase& test : cases) {
    const TDecoded expected = Decode(test.stream);
    for (size_t pieceSize : {size_t{1}, size_t{3}, size_t{8}, size_t{4096}, SIZE_MAX}) {
      SCOPED_TRACE(std::string(test.name) + ", pieces of " + std::to_string(pieceSize));
      const TDecoded result = DecodeRuns(lzw, test.stream, pieceSize);
      EXPECT_TRUE(result.ok);
      EXPECT_TRUE(result.bytes == expected.bytes);
    }
  }
}

TEST(LzwRunDecoder, HandsOverLongRunsAndStopsWhenRefused) {
  const Bytes data = RandomBytes(2 * TLZWCompressor::WindowSize, 4, 8);
  const Bytes stream = Encode(data, true);
  TLZWCompressor lzw;
  const TDecoded whole = DecodeRuns(lzw, stream, 4096);
  EXPECT_TRUE(whole.ok);
  EXPECT_TRUE(whole.bytes == data);

  const TDecoded refused = DecodeRuns(lzw, stream, 4096, 1);
  EXPECT_FALSE(refused.ok);
  // The first run is the window filled up to the string that no longer fits in it.
  EXPECT_LE(refused.bytes.size(), size_t{TLZWCompressor::WindowSize});
  EXPECT_GT(refused.bytes.size(), size_t{TLZWCompressor::WindowSize - 3839});
  EXPECT_TRUE(Bytes(data.begin(), data.begin() + refused.bytes.size()) == refused.bytes);
  EXPECT_LT(refused.pulled, stream.size());
}

TEST(LzwRunDecoder, MissingTableFailsAtOnce) {
  failNothrowNew = true;
  TLZWCompressor lzw;
  failNothrowNew = false;
  const TDecoded result = DecodeRuns(lzw, {0x80, 0x10, 0x60, 0x50, 0x10}, 8);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(result.bytes.empty());
}

// The flat form into a block of exactly `capacity` bytes, with guard bytes behind it that must
// stay untouched.
TDecoded DecodeFlat(TLZWCompressor& lzw, const Bytes& stream, size_t pieceSize, size_t capacity) {
  constexpr uint8_t kGuard = 0xA5;
  TPieceSource source{stream, pieceSize};
  Bytes block(capacity + 64, kGuard);
  const int64_t written = lzw.ExpandInto(block.data(), static_cast<int64_t>(capacity),
                                         BindGetBytes<TPieceSource, &TPieceSource::Next>(&source));
  for (size_t i = capacity; i < block.size(); ++i) {
    if (block[i] != kGuard) {
      ADD_FAILURE() << "byte " << i << " past the destination was written";
      break;
    }
  }
  if (written < 0) return {false, {}, source.pulled};
  return {true, Bytes(block.begin(), block.begin() + written), source.pulled};
}

// The flat form must give exactly the bytes of the byte form whose output refuses the byte
// after `capacity`: whole streams, streams cut at every kind of place, hostile code sequences.
TEST(LzwFlatDecoder, AgreesWithTheByteFormOnEveryStreamAndCapacity) {
  std::vector<TStreamCase> cases = StreamCases();
  for (unsigned seed = 1; seed <= 40; ++seed) {
    cases.push_back({"random codes", RandomCodes(seed * 500, seed)});
  }
  cases.push_back({"random codes, long", RandomCodes(400000, 99)});
  cases.push_back({"random bytes as codes", RandomBytes(5000, 256, 98)});
  TLZWCompressor lzw;  // one object for every pass, as the reader uses it
  std::mt19937 random(7);
  for (const TStreamCase& test : cases) {
    const TDecoded whole = Decode(test.stream);
    const size_t size = whole.bytes.size();
    std::vector<size_t> capacities = {size, size + 1, size + 5000, 0, 1};
    if (size > 1) capacities.push_back(size - 1);
    if (size > 0) capacities.push_back(random() % size);
    if (size > 4000) capacities.push_back(size - 3900);  // the last strings near the end
    for (const size_t capacity : capacities) {
      const TDecoded expected = Decode(test.stream, capacity);
      for (const size_t pieceSize : {size_t{1}, size_t{7}, size_t{4096}, SIZE_MAX}) {
        SCOPED_TRACE(std::string(test.name) + ", " + std::to_string(test.stream.size()) +
                     " bytes, capacity " + std::to_string(capacity) + ", pieces of " +
                     std::to_string(pieceSize));
        const TDecoded result = DecodeFlat(lzw, test.stream, pieceSize, capacity);
        ASSERT_TRUE(result.ok);
        ASSERT_EQ(result.bytes.size(), expected.bytes.size());
        ASSERT_TRUE(result.bytes == expected.bytes);
      }
    }
  }
}

TEST(LzwFlatDecoder, MissingTableOrOversizedDestinationFailsAtOnce) {
  failNothrowNew = true;
  TLZWCompressor broken;
  failNothrowNew = false;
  EXPECT_FALSE(DecodeFlat(broken, {0x80, 0x10, 0x60, 0x50, 0x10}, 8, 100).ok);
  TLZWCompressor lzw;
  TPieceSource source{{0x80, 0x10, 0x60, 0x50, 0x10}, 8};
  uint8_t byte = 0;
  EXPECT_EQ(lzw.ExpandInto(&byte, TLZWCompressor::MaxFlatCapacity + 1,
                           BindGetBytes<TPieceSource, &TPieceSource::Next>(&source)),
            -1);
  EXPECT_EQ(source.pulled, 0u);
}

}  // namespace

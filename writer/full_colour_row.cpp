#include "writer/full_colour_row.h"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <tmmintrin.h>
#define VARNELTIFF_SHUFFLES 1
#endif

namespace {

// Each pixel but the last goes out as one reversed word whose fourth byte the next pixel
// overwrites.
void ConvertWords(uint8_t* __restrict out, const uint8_t* __restrict in, uint32_t count) {
  if (count == 0) return;
  for (uint32_t x = 0; x + 1 < count; ++x) {
    uint32_t word;
    std::memcpy(&word, in + 4 * size_t{x}, 4);
    word = __builtin_bswap32(word) >> 8;
    std::memcpy(out + 3 * size_t{x}, &word, 4);
  }
  const size_t last = count - 1;
  out[3 * last] = in[4 * last + 2];
  out[3 * last + 1] = in[4 * last + 1];
  out[3 * last + 2] = in[4 * last];
}

#if defined(VARNELTIFF_SHUFFLES)
// Four pixels per shuffle: 16 bytes in, 12 out. Each store writes 4 bytes more, which the next
// one overwrites, so the last pixels of the row go the plain way.
__attribute__((target("ssse3"))) void ConvertShuffled(uint8_t* __restrict out,
                                                      const uint8_t* __restrict in,
                                                      uint32_t count) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  uint32_t x = 0;
  for (; x + 6 <= count; x += 4) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 4 * size_t{x}));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * size_t{x}),
                     _mm_shuffle_epi8(pixels, order));
  }
  ConvertWords(out + 3 * size_t{x}, in + 4 * size_t{x}, count - x);
}

bool HasShuffles() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}
#endif

}  // namespace

void ConvertFullColourRow(uint8_t* out, const uint8_t* in, uint32_t count) {
#if defined(VARNELTIFF_SHUFFLES)
  if (HasShuffles()) return ConvertShuffled(out, in, count);
#endif
  ConvertWords(out, in, count);
}

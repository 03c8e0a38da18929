// The bit layer of the LZW decoder: cuts the input bytes into codes, most significant bit first.
#include "lzw/lzw_compressor.h"

// A code may start anywhere in a byte and span up to three bytes; the first bit of a byte is its
// bit 7. A byte is fetched only when the code needs bits from it, so a code that ends on a byte
// boundary fetches nothing more and nothing behind the last code of a stream is ever read.
int TLZWCompressor::ReadCode(int width) {
  int code = 0;
  while (width > inBitsLeft) {
    width -= inBitsLeft;
    code |= (inByte & ((1 << inBitsLeft) - 1)) << width;
    inByte = onGetByte();
    if (inByte < 0) {
      // The partial code is lost; nothing is left buffered, so a later call asks for input again.
      ResetBits();
      return -1;
    }
    inBitsLeft = 8;
  }
  inBitsLeft -= width;
  return code | ((inByte >> inBitsLeft) & ((1 << width) - 1));
}

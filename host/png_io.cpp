#include "host/png_io.h"

#include <cstdlib>
#include <cstring>

#include "host/output_file.h"

#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

// A picture file larger than this is not a picture the tool can hand over in one piece.
constexpr uint64_t kLargestPictureFile = uint64_t{1} << 30;
// Half of what an int counts, leaving the compressor's own buffers room.
constexpr uint64_t kLargestPngData = 0x3FFFFFFF;

// The PNG library's short failure names, in plain words; others are shown as they are.
std::string DecodeFailure(const char* name) {
  struct Plain {
    const char* name;
    const char* words;
  };
  static constexpr Plain kPlain[] = {
      {"outofdata", "the file ends before the picture does"},
      {"not enough pixels", "the file ends before the picture does"},
      {"outofmem", "not enough memory for the picture"},
      {"bad zlib header", "the compressed pixel data is damaged"},
      {"bad huffman code", "the compressed pixel data is damaged"},
      {"bad codelengths", "the compressed pixel data is damaged"},
  };
  for (const Plain& plain : kPlain) {
    if (std::strcmp(name, plain.name) == 0) return plain.words;
  }
  return std::string("cannot decode the picture: ") + name;
}

void AppendBytes(void* context, void* data, int size) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(context);
  const auto* first = static_cast<const uint8_t*>(data);
  bytes->insert(bytes->end(), first, first + size);
}

}  // namespace

bool ReadPicture(const std::string& path, RgbImage& image, std::string& error) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, kLargestPictureFile, bytes, error)) return false;
  const int size = static_cast<int>(bytes.size());
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_memory(bytes.data(), size, &width, &height, &channels) == 0) {
    error = "not a PNG or BMP picture";
    return false;
  }
  if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide) {
    error = "picture of " + std::to_string(width) + " x " + std::to_string(height) +
            " pixels: a side must be 1 to " + std::to_string(kLargestSide);
    return false;
  }
  // A picture with alpha (grey and alpha, or RGBA) is read as it is, to see whether any pixel
  // is not opaque; every other one as RGB.
  const bool alpha = channels == 2 || channels == 4;
  const int loaded = alpha ? channels : 3;
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), size, &width, &height, &channels, loaded);
  if (pixels == nullptr) {
    error = DecodeFailure(stbi_failure_reason());
    return false;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  image.width = width;
  image.height = height;
  image.transparent = false;
  if (!alpha) {
    image.pixels.assign(pixels, pixels + 3 * count);
  } else {
    image.pixels.resize(3 * count);
    const stbi_uc* in = pixels;
    uint8_t* out = image.pixels.data();
    for (size_t i = 0; i < count; ++i, in += loaded, out += 3) {
      const bool grey = loaded == 2;
      out[0] = in[0];
      out[1] = grey ? in[0] : in[1];
      out[2] = grey ? in[0] : in[2];
      image.transparent |= in[loaded - 1] != 255;
    }
  }
  stbi_image_free(pixels);
  return true;
}

std::vector<uint8_t> EncodePng(const std::vector<uint8_t>& pixels, int width, int height,
                               int channels) {
  std::vector<uint8_t> png;
  if (width < 1 || height < 1 || channels < 1) return png;
  const uint64_t rowBytes =
      uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(channels);
  // The encoder counts its filtered rows, a filter byte before each, in an int.
  const uint64_t filtered = (rowBytes + 1) * static_cast<uint32_t>(height);
  if (pixels.size() < rowBytes * static_cast<uint32_t>(height) || filtered > kLargestPngData) {
    return png;
  }
  if (stbi_write_png_to_func(AppendBytes, &png, width, height, channels, pixels.data(),
                             width * channels) == 0) {
    png.clear();
  }
  return png;
}

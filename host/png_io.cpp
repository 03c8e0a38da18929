#include "host/png_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// stb's callbacks over an open file, so that a BMP is not read into memory first.
int ReadSome(void* user, char* data, int size) {
  return static_cast<int>(
      std::fread(data, 1, static_cast<size_t>(size), static_cast<std::FILE*>(user)));
}
void SkipSome(void* user, int count) {
  std::fseek(static_cast<std::FILE*>(user), count, SEEK_CUR);
}
int AtEnd(void* user) {
  return std::feof(static_cast<std::FILE*>(user));
}
constexpr stbi_io_callbacks kFileCallbacks = {ReadSome, SkipSome, AtEnd};

// stb's short failure names, in plain words; others are shown as they are.
std::string DecodeFailure(const char* name) {
  struct Plain {
    const char* name;
    const char* words;
  };
  static constexpr Plain kPlain[] = {
      {"outofmem", "not enough memory for the picture"},
      {"bad BMP", "the file is damaged"},
      {"bad header", "the file is damaged"},
  };
  for (const Plain& plain : kPlain) {
    if (std::strcmp(name, plain.name) == 0) return plain.words;
  }
  return std::string("cannot decode the picture: ") + name;
}

// The limits a picture must keep to, checked from its size alone.
bool SizeAllowed(uint32_t width, uint32_t height, std::string& error) {
  if (width < 1 || height < 1 || width > kLargestSide || height > kLargestSide) {
    error = "picture of " + SizeText(width, height) + ": a side must be 1 to " +
            std::to_string(kLargestSide);
    return false;
  }
  const uint64_t needed = kExportBytesPerPixel * width * height;
  if (needed > kAddressableBytes) {
    error = "picture of " + SizeText(width, height) + ": an export needs " +
            std::to_string(needed >> 20) + " MiB for it, more than the " +
            std::to_string(kAddressableBytes >> 20) + " MiB this 32-bit program can count on";
    return false;
  }
  return true;
}

std::string NoMemory(uint32_t width, uint32_t height) {
  return "not enough memory for a picture of " + SizeText(width, height) + " (an export needs " +
         std::to_string((kExportBytesPerPixel * width * height) >> 20) + " MiB for it)";
}

bool ReadPng(std::FILE* file, RgbImage& image, ReadProgress progress, std::string& error) {
  PngReader reader(file);
  if (!reader.ReadHeader(error)) return false;
  const auto width = static_cast<uint32_t>(reader.Width());
  const auto height = static_cast<uint32_t>(reader.Height());
  if (!SizeAllowed(width, height, error)) return false;
  try {
    return reader.ReadPixels(image, progress, error);
  } catch (const std::bad_alloc&) {
    image = {};
    error = NoMemory(width, height);
    return false;
  }
}

// stb counts a picture's bytes in an int.
constexpr uint64_t kLargestBmpPixels = INT_MAX / 4;

bool ReadBmp(std::FILE* file, RgbImage& image, std::string& error) {
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_callbacks(&kFileCallbacks, file, &width, &height, &channels) == 0) {
    error = "not a PNG or BMP picture";
    return false;
  }
  if (!SizeAllowed(static_cast<uint32_t>(width), static_cast<uint32_t>(height), error))
    return false;
  if (uint64_t(width) * uint64_t(height) > kLargestBmpPixels) {
    error = "BMP picture of " + SizeText(width, height) + ": a BMP is read up to " +
            std::to_string(kLargestBmpPixels / 1000000) + " million pixels; save it as PNG";
    return false;
  }
  std::rewind(file);
  // A BMP with alpha is read as it is, to see whether any pixel is not opaque.
  const bool alpha = channels == 4;
  const int loaded = alpha ? 4 : 3;
  stbi_uc* pixels =
      stbi_load_from_callbacks(&kFileCallbacks, file, &width, &height, &channels, loaded);
  if (pixels == nullptr) {
    error = DecodeFailure(stbi_failure_reason());
    return false;
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  try {
    image.width = width;
    image.height = height;
    image.transparent = false;
    if (!alpha) {
      image.pixels.assign(pixels, pixels + 3 * count);
    } else {
      image.pixels.resize(3 * count);
      const stbi_uc* in = pixels;
      uint8_t* out = image.pixels.data();
      for (size_t i = 0; i < count; ++i, in += 4, out += 3) {
        std::memcpy(out, in, 3);
        image.transparent |= in[3] != 255;
      }
    }
  } catch (const std::bad_alloc&) {
    stbi_image_free(pixels);
    image = {};
    error = NoMemory(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    return false;
  }
  stbi_image_free(pixels);
  return true;
}

}  // namespace

std::string SizeText(int64_t width, int64_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

bool ReadPicture(const std::string& path, RgbImage& image, ReadProgress progress,
                 std::string& error) {
  const File file(std::fopen(path.c_str(), "rb"));
  if (file == nullptr) {
    error = std::strerror(errno);
    return false;
  }
  uint8_t signature[8] = {};
  const size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (std::ferror(file.get())) {
    error = std::strerror(errno);
    return false;
  }
  if (IsPngSignature(signature, got)) return ReadPng(file.get(), image, progress, error);
  std::rewind(file.get());
  return ReadBmp(file.get(), image, error);
}

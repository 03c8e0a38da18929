// A file image in memory as a C stream open for reading, for the reader's DecodeStream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

// The bytes as a stream open for reading: a memory stream where the C library has one, else a
// file of their own in the temporary folder, removed when the stream is closed.
class TStream {
 public:
  TStream(const uint8_t* data, size_t size) {
#if defined(_WIN32)
    static int counter = 0;
    path = (std::filesystem::temp_directory_path() /
            ("varneltiff-read-" + std::to_string(counter++) + ".tif"))
               .string();
    stream = std::fopen(path.c_str(), "w+b");
    if (stream != nullptr && ((size != 0 && std::fwrite(data, 1, size, stream) != size) ||
                              std::fseek(stream, 0, SEEK_SET) != 0)) {
      Close();
    }
#else
    static uint8_t empty = 0;
    stream = fmemopen(size != 0 ? const_cast<uint8_t*>(data) : &empty, size, "rb");
#endif
  }
  ~TStream() {
    Close();
  }
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  std::FILE* get() const {
    return stream;
  }
  explicit operator bool() const {
    return stream != nullptr;
  }

 private:
  void Close() {
    if (stream != nullptr) std::fclose(stream);
    stream = nullptr;
    if (!path.empty()) std::remove(path.c_str());
  }
  std::FILE* stream = nullptr;
  std::string path;
};

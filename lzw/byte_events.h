// The closures through which the LZW object pulls its input bytes and pushes its output bytes:
// a plain function bound to the object it is called on, so no global state and no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

// Returns the next input byte as 0..255, or -1 when the input has ended.
struct TGetByteEvent {
  int (*function)(void* object) = nullptr;
  void* object = nullptr;
  int operator()() const { return function(object); }
};

// Takes one output byte (0..255); returns -1 when the byte could not be taken.
struct TPutByteEvent {
  int (*function)(void* object, int value) = nullptr;
  void* object = nullptr;
  int operator()(int value) const { return function(object, value); }
};

// Takes a run of output bytes; returns -1 when the bytes could not all be taken.
struct TPutBytesEvent {
  int (*function)(void* object, const uint8_t* bytes, size_t count) = nullptr;
  void* object = nullptr;
  int operator()(const uint8_t* bytes, size_t count) const {
    return function(object, bytes, count);
  }
};

// Hands over the next piece of input: points `bytes` at it and returns its length, 0 when the
// input has ended. The piece stays valid until the next call.
struct TGetBytesEvent {
  size_t (*function)(void* object, const uint8_t** bytes) = nullptr;
  void* object = nullptr;
  size_t operator()(const uint8_t** bytes) const { return function(object, bytes); }
};

// Binds a member function `int T::Method()` or `int T::Method(int)` to an object.
template <typename T, int (T::*Method)()>
TGetByteEvent BindGetByte(T* object) {
  return {[](void* self) { return (static_cast<T*>(self)->*Method)(); }, object};
}

template <typename T, int (T::*Method)(int)>
TPutByteEvent BindPutByte(T* object) {
  return {[](void* self, int value) { return (static_cast<T*>(self)->*Method)(value); }, object};
}

template <typename T, int (T::*Method)(const uint8_t*, size_t)>
TPutBytesEvent BindPutBytes(T* object) {
  return {[](void* self, const uint8_t* bytes, size_t count) {
            return (static_cast<T*>(self)->*Method)(bytes, count);
          },
          object};
}

template <typename T, size_t (T::*Method)(const uint8_t**)>
TGetBytesEvent BindGetBytes(T* object) {
  return {[](void* self, const uint8_t** bytes) { return (static_cast<T*>(self)->*Method)(bytes); },
          object};
}

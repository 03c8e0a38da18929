// The closures through which the LZW object pulls its input bytes and pushes its output bytes:
// a plain function bound to the object it is called on, so no global state and no allocation.
#pragma once

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

// Binds a member function `int T::Method()` or `int T::Method(int)` to an object.
template <typename T, int (T::*Method)()>
TGetByteEvent BindGetByte(T* object) {
  return {[](void* self) { return (static_cast<T*>(self)->*Method)(); }, object};
}

template <typename T, int (T::*Method)(int)>
TPutByteEvent BindPutByte(T* object) {
  return {[](void* self, int value) { return (static_cast<T*>(self)->*Method)(value); }, object};
}

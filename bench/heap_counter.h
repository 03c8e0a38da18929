// A counter of the bytes on the heap, for the memory goals: malloc and friends are replaced in
// the benchmark program and forward to the C library's own functions.
#pragma once

#include <cstdint>

// Starts counting from zero live bytes; PeakHeapBytes is the largest live total since then.
void StartHeapCount();
int64_t PeakHeapBytes();
void StopHeapCount();

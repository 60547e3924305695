// util/vector_paths.h: which implementation the hot loops use: portable, AVX2 or AVX-512.
#pragma once

// Set where the compiler can build AVX2 and AVX-512 functions next to portable
// ones (GCC or Clang on x86); elsewhere only the portable path exists.
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define KALVO_AVX2_PATHS 1
#endif

namespace kalvo {

// Every path gives the same bits; a vector path only does more of the same
// operations at once. Avx512 needs AVX-512F; its loops fall back on AVX2 code
// where wider vectors would not pay.
enum class VectorPath { Portable, Avx2, Avx512 };

// The widest path this processor runs, within the limit LimitVectorPaths set.
VectorPath BestVectorPath();
// True when the processor can run the path at all.
bool VectorPathAvailable(VectorPath path);
// From now on no path wider than `widest` (at first Avx512: no limit), for
// benchmarks and tests that run the narrower paths in the same process.
void LimitVectorPaths(VectorPath widest);
// The path's name as a benchmark prints it: "portable", "AVX2", "AVX-512".
const char* VectorPathName(VectorPath path);

}  // namespace kalvo

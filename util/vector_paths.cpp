// util/vector_paths.cpp: the processor check behind the vector paths, made once.
#include "util/vector_paths.h"

#include <atomic>

namespace kalvo {
namespace {

struct Features {
    bool avx2 = false;
    bool avx512 = false;
};

Features ProcessorFeatures()
{
    Features features;
#ifdef KALVO_AVX2_PATHS
    __builtin_cpu_init();
    features.avx2 = __builtin_cpu_supports("avx2");
    features.avx512 = features.avx2 && __builtin_cpu_supports("avx512f");
#endif
    return features;
}

std::atomic<VectorPath> g_widestPath{VectorPath::Avx512};

}  // namespace

bool VectorPathAvailable(VectorPath path)
{
    static const Features features = ProcessorFeatures();
    switch (path) {
    case VectorPath::Avx512: return features.avx512;
    case VectorPath::Avx2: return features.avx2;
    default: return true;
    }
}

VectorPath BestVectorPath()
{
    const VectorPath widest = g_widestPath.load(std::memory_order_relaxed);
    if (widest == VectorPath::Avx512 && VectorPathAvailable(VectorPath::Avx512))
        return VectorPath::Avx512;
    if (widest != VectorPath::Portable && VectorPathAvailable(VectorPath::Avx2))
        return VectorPath::Avx2;
    return VectorPath::Portable;
}

void LimitVectorPaths(VectorPath widest) { g_widestPath.store(widest, std::memory_order_relaxed); }

const char* VectorPathName(VectorPath path)
{
    switch (path) {
    case VectorPath::Avx512: return "AVX-512";
    case VectorPath::Avx2: return "AVX2";
    default: return "portable";
    }
}

}  // namespace kalvo

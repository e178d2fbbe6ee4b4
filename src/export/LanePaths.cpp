#include "export/LanePaths.h"

#include <stdexcept>

namespace quorvane {

namespace {

struct TPathName {
    TLanePath Path;
    const char* Name;
};

constexpr TPathName KPathNames[] = {
    {TLanePath::Auto, "auto"}, {TLanePath::Scalar, "scalar"}, {TLanePath::Generic, "generic"},
    {TLanePath::Avx2, "avx2"}, {TLanePath::Avx512, "avx512"},
};

// The build compiles the AVX2 and AVX-512 units of the kernels for x86-64 only.
#if defined(QUORVANE_LANES_X86)
constexpr bool KX86Units = true;
#else
constexpr bool KX86Units = false;
#endif

bool ProcessorRuns(TLanePath path) {
    switch (path) {
    case TLanePath::Auto:
    case TLanePath::Scalar:
    case TLanePath::Generic:
        return true;
#if defined(__x86_64__) || defined(__i386__)
    case TLanePath::Avx2:
        return __builtin_cpu_supports("avx2");
    case TLanePath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512bw");
#else
    case TLanePath::Avx2:
    case TLanePath::Avx512:
        return false;
#endif
    }
    return false;
}

} // namespace

const char* LanePathName(TLanePath path) {
    for (const TPathName& entry : KPathNames)
        if (entry.Path == path) return entry.Name;
    return "unknown";
}

bool LanePathFromName(const std::string& name, TLanePath& path) {
    for (const TPathName& entry : KPathNames)
        if (name == entry.Name) {
            path = entry.Path;
            return true;
        }
    return false;
}

bool TLanePaths::Available(TLanePath path) const {
    const bool x86Path = path == TLanePath::Avx2 || path == TLanePath::Avx512;
    return (!x86Path || KX86Units) && ProcessorRuns(path);
}

TLanePath TLanePaths::Best() const {
    if (Available(TLanePath::Avx512)) return TLanePath::Avx512;
    if (Available(TLanePath::Avx2)) return TLanePath::Avx2;
    return TLanePath::Scalar;
}

TLanePath TLanePaths::Default() const {
    const TLanePath path = FDefault.load(std::memory_order_relaxed);
    return path == TLanePath::Auto ? Best() : path;
}

void TLanePaths::SetDefault(TLanePath path) {
    if (!Available(path)) ThrowUnavailable(path);
    FDefault.store(path, std::memory_order_relaxed);
}

TLanePath TLanePaths::Resolve(TLanePath path) const {
    if (path == TLanePath::Auto) path = Default();
    if (!Available(path)) ThrowUnavailable(path);
    return path;
}

void TLanePaths::ThrowUnavailable(TLanePath path) const {
    throw std::invalid_argument(std::string("the ") + LanePathName(path) + " " + FKernel +
                                " path is not available on this processor");
}

} // namespace quorvane

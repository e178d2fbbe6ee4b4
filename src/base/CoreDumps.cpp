#include "base/CoreDumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace quorvane {

bool DisableCoreDumps() {
    bool ok = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    struct rlimit none {};
    none.rlim_cur = 0;
    none.rlim_max = 0;
    ok = ::setrlimit(RLIMIT_CORE, &none) == 0 && ok;
    return ok;
}

} // namespace quorvane

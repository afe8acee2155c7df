// Exports never let a C++ exception escape: an allocation failure becomes the
// out-of-memory code.
#pragma once

#include <new>

#include "frame/result.h"

namespace zar::exports {

template <class Body>
Result guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (...) {
        return kNoMemory;
    }
}

}  // namespace zar::exports

// The table of work-file builders, one per single-file foreign kind.
#include "archive/workfile.h"

namespace zar::archive {

ForeignBuilder foreignBuilder(Kind kind) {
    switch (kind) {
        default: return nullptr;
    }
}

}  // namespace zar::archive

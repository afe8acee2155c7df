#include "fs/copy.h"

#include <algorithm>

#include "frame/run_state.h"

namespace zar::fs {

Result copyBytes(FileHandle in, FileHandle out, int64_t count) {
    if (in == kInvalidFile || out == kInvalidFile) return kAccessDenied;
    if (count < 1) return kOk;

    // 512 KiB, halved on each refusal down to a single byte.
    size_t size = 524288;
    Block buffer = allocateBlock(size);
    while (!buffer && size > 1) buffer = allocateBlock(size /= 2);
    if (!buffer) return kNoMemory;

    while (count > 0) {
        if (frame::cancelPending()) break;
        uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(count, static_cast<int64_t>(size)));
        if (!readExact(in, buffer.get(), piece)) return kShortRead;
        if (!writeAll(out, buffer.get(), piece)) return kWriteFailed;
        count -= piece;
        frame::yield();
    }
    return frame::takeCancel() ? kCancelled : kOk;
}

}  // namespace zar::fs

// Memory with an inaccessible page on each side, so that a buffer placed flush
// against either end turns any access past it into a fault.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstdlib>

class GuardedBuffer {
public:
#ifdef _WIN32
    explicit GuardedBuffer(size_t capacity) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        inner_ = (capacity + page_ - 1) / page_ * page_;
        void* p = VirtualAlloc(nullptr, inner_ + 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (p == nullptr) std::abort();
        base_ = static_cast<uint8_t*>(p);
        DWORD old;
        VirtualProtect(base_, page_, PAGE_NOACCESS, &old);
        VirtualProtect(base_ + page_ + inner_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
#else
    explicit GuardedBuffer(size_t capacity) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        inner_ = (capacity + page_ - 1) / page_ * page_;
        void* p = mmap(nullptr, inner_ + 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) std::abort();
        base_ = static_cast<uint8_t*>(p);
        mprotect(base_, page_, PROT_NONE);
        mprotect(base_ + page_ + inner_, page_, PROT_NONE);
    }
    ~GuardedBuffer() { munmap(base_, inner_ + 2 * page_); }
#endif
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    // n bytes that end at the guard behind them, or start at the one before them.
    uint8_t* place(size_t n, bool atFront) { return atFront ? base_ + page_ : base_ + page_ + inner_ - n; }
    size_t capacity() const { return inner_; }

private:
    uint8_t* base_ = nullptr;
    size_t page_ = 0;
    size_t inner_ = 0;
};

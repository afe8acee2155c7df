// Compressing ahead: while the calling thread writes a run's entries in
// order, worker threads compress the files that come next into memory. What
// a worker found (the data, its CRC, and every report it would have made to
// the host) is handed over when the calling thread reaches the entry, and the
// reports are replayed then. The host therefore sees the same calls in the
// same order, all on its own thread, and the archive is the same byte for
// byte, whatever the number of threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame/result.h"
#include "write/entry_writer.h"

namespace zar::write {

// The threads that compress in a writing run: ZARLIB_THREADS when it holds a
// number from 1 to 64, otherwise one per processor. One thread is the
// calling thread alone.
unsigned writingThreads();

class CompressAhead {
public:
    // `threads` compressing threads: the calling thread and threads - 1
    // workers, started with the first file queued. With one, takes() is
    // always false.
    explicit CompressAhead(unsigned threads);
    CompressAhead(const CompressAhead&) = delete;
    CompressAhead& operator=(const CompressAhead&) = delete;
    // Stops the workers at their next block and waits for them.
    ~CompressAhead();

    // True when there are workers: files are compressed ahead.
    bool working() const { return workers_ != 0; }
    // True when a file of `size` bytes goes to a worker: one with data, of
    // at most kLargestTaken bytes. Larger files are compressed by the calling
    // thread when it reaches them, as in a run on one thread.
    bool takes(uint64_t size) const;
    // Queues the file at `path` (OEM form), of `size` bytes as listed.
    // Files are taken to be written in the order they are queued.
    AheadData* queue(const std::string& path, uint64_t size, uint16_t level);
    // True when no more may be queued before the oldest is taken.
    bool full() const;

    // Queuing stops once the files queued and not yet taken reach this many
    // bytes of listed size (the last one may pass it by kLargestTaken), or
    // this many files.
    static constexpr uint64_t kMemoryBound = 64 << 20;
    static constexpr size_t kJobBound = 4096;
    // The largest file compressed ahead.
    static constexpr uint64_t kLargestTaken = kMemoryBound / 4;

private:
    struct Event;
    struct WorkArea;
    class Job;
    class Recorder;

    void work();
    Result take(Job& job, Packed* packed);

    const unsigned workers_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable queued_;   // workers wait for a job or the stop
    std::condition_variable reported_; // the calling thread waits for reports
    std::deque<std::unique_ptr<Job>> jobs_;  // in the order of the entries
    size_t next_ = 0;                        // jobs_[next_] is the next to start
    uint64_t inFlight_ = 0;                  // listed bytes of the jobs not taken
    Job* awaited_ = nullptr;                 // the job the calling thread waits for
    std::atomic<bool> stop_ = false;
    // The work area of the calling thread, made when it first compresses a
    // file itself.
    std::unique_ptr<WorkArea> ownArea_;
};

}  // namespace zar::write

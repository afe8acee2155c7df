#include "write/compress_ahead.h"

#include <cstdlib>
#include <new>
#include <system_error>

#include "archive/handles.h"
#include "fs/file_io.h"

namespace zar::write {

// One report a worker made, to be made again to the host.
struct CompressAhead::Event {
    enum Kind : uint8_t { kStart, kPiece, kBlock };
    Kind kind;
    uint16_t level;  // kStart
    uint64_t value;  // kStart: the size; kPiece: the bytes done
};

// The buffers a thread compresses with, had once for all its files: the
// piece buffers and the deflate work area. `ready` is false when either
// could not be had.
struct CompressAhead::WorkArea {
    WorkArea() : deflate(fs::allocateBlock(kDeflateWorkSize)) { ready = deflate && buffers.acquireOwn() == kOk; }
    archive::WorkBuffers buffers;
    fs::Block deflate;
    bool ready;
};

class CompressAhead::Job final : public AheadData {
public:
    Job(CompressAhead& pool, const std::string& path, uint64_t size, uint16_t level) : pool_(pool), path(path) {
        packed.size = size;
        packed.level = level;
    }
    Result take(Packed* out) override { return pool_.take(*this, out); }

    // Opens the file and compresses it in `area`, recording the reports.
    void run(WorkArea& area);

    CompressAhead& pool_;
    const std::string path;
    // Written by the worker alone until `done`; read by the calling thread after.
    Packed packed;
    Result result = kOk;
    // Guarded by the pool's mutex.
    std::vector<Event> events;
    bool done = false;
    bool taken = false;
};

// Keeps a worker's reports for the calling thread, and stops the worker's
// run once the pool stops.
class CompressAhead::Recorder final : public PackReports {
public:
    Recorder(CompressAhead& pool, Job& job) : pool_(pool), job_(job) {}
    void start(uint16_t level, uint64_t size) override { record({Event::kStart, level, size}); }
    bool piece(uint64_t done) override { return record({Event::kPiece, 0, done}); }
    bool block() override { return record({Event::kBlock, 0, 0}); }

private:
    bool record(const Event& event) {
        bool awaited;
        {
            std::lock_guard lock(pool_.mutex_);
            job_.events.push_back(event);
            awaited = pool_.awaited_ == &job_;
        }
        if (awaited) pool_.reported_.notify_one();
        return !pool_.stop_.load(std::memory_order_relaxed);
    }

    CompressAhead& pool_;
    Job& job_;
};

void CompressAhead::Job::run(WorkArea& area) {
    Recorder recorder(pool_, *this);
    fs::File file(fs::openFile(path.c_str(), platform::kAccessRead, platform::kShareRead,
                               fs::Disposition::OpenExisting, 0, true));
    if (!file.valid()) {
        result = kAccessDenied;
        return;
    }
    packed.opened = true;
    if (!area.ready) {
        result = kNoMemory;
        return;
    }
    try {
        result = packFile(file.get(), area.buffers, area.deflate.get(), recorder, &packed);
    } catch (const std::bad_alloc&) {
        result = kNoMemory;
    }
}

unsigned writingThreads() {
    constexpr unsigned kMostThreads = 64;
    if (const char* setting = std::getenv("ZARLIB_THREADS"); setting != nullptr) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(setting, &end, 10);
        if (end != setting && *end == '\0' && n >= 1 && n <= kMostThreads) return static_cast<unsigned>(n);
    }
    const unsigned processors = std::thread::hardware_concurrency();
    return processors == 0 ? 1 : std::min(processors, kMostThreads);
}

CompressAhead::CompressAhead(unsigned threads) : workers_(threads > 1 ? threads - 1 : 0) {}

CompressAhead::~CompressAhead() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

bool CompressAhead::takes(uint64_t size) const {
    return workers_ != 0 && size != 0 && size <= kLargestTaken;
}

bool CompressAhead::full() const {
    return inFlight_ >= kMemoryBound || jobs_.size() >= kJobBound;
}

AheadData* CompressAhead::queue(const std::string& path, uint64_t size, uint16_t level) {
    Job* job;
    {
        std::lock_guard lock(mutex_);
        // Jobs taken are gone from the front; the workers' place moves with them.
        while (!jobs_.empty() && jobs_.front()->taken) {
            jobs_.pop_front();
            --next_;
        }
        jobs_.push_back(std::make_unique<Job>(*this, path, size, level));
        job = jobs_.back().get();
        inFlight_ += size;
    }
    queued_.notify_one();
    // A thread that cannot be started leaves its jobs to the calling thread.
    try {
        while (threads_.size() < workers_) threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
    }
    return job;
}

void CompressAhead::work() {
    WorkArea area;
    for (;;) {
        Job* job;
        {
            std::unique_lock lock(mutex_);
            queued_.wait(lock, [&] { return stop_ || next_ < jobs_.size(); });
            if (stop_) return;
            job = jobs_[next_++].get();
        }
        job->run(area);
        bool awaited;
        {
            std::lock_guard lock(mutex_);
            job->done = true;
            awaited = awaited_ == job;
        }
        if (awaited) reported_.notify_one();
    }
}

Result CompressAhead::take(Job& job, Packed* packed) {
    // The reports are replayed as the worker makes them, so the host's
    // progress moves and its cancel is seen within a block. Rather than wait
    // for them, this thread compresses the next file of one piece itself, or
    // any next file when no worker could be started.
    PackReports& host = hostReports();
    std::vector<Event> batch;
    size_t replayed = 0;
    bool cancelled = false;
    std::unique_lock lock(mutex_);
    while (!cancelled) {
        if (job.events.size() > replayed) {
            batch.assign(job.events.begin() + static_cast<ptrdiff_t>(replayed), job.events.end());
            replayed += batch.size();
            lock.unlock();
            for (const Event& event : batch) {
                if (event.kind == Event::kStart) host.start(event.level, event.value);
                else cancelled = event.kind == Event::kPiece ? !host.piece(event.value) : !host.block();
                if (cancelled) break;
            }
            lock.lock();
        } else if (job.done) {
            break;
        } else if (next_ < jobs_.size() && (jobs_[next_]->packed.size < archive::kWorkBufferSize || threads_.empty())) {
            Job& next = *jobs_[next_++];
            lock.unlock();
            if (!ownArea_) ownArea_ = std::make_unique<WorkArea>();
            next.run(*ownArea_);
            lock.lock();
            next.done = true;
        } else {
            awaited_ = &job;
            reported_.wait(lock);
            awaited_ = nullptr;
        }
    }

    job.taken = true;
    inFlight_ -= job.packed.size;
    if (cancelled) {
        // The run ends here: the workers stop at their next block.
        stop_ = true;
        packed->opened = packed->ran = true;
        return kCancelled;
    }
    *packed = std::move(job.packed);
    return job.result;
}

}  // namespace zar::write

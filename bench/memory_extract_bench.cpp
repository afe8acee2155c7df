// Extraction to memory against the raw inflater on the same stream: a 40 MB
// entry, deflated by zlib at level 6, is decoded by Ax4UnZipPtr from a ZIP
// file (read through the page cache, CRC-32 checked at the end) and by
// AxInflateUC straight from memory, side by side in every iteration (thread
// CPU time, which counts the reads' system time too), so that a busy machine
// slows both alike. Both write into one 40 MB buffer, touched beforehand.
// Reported: MB/s of decoded bytes for each, and memory/raw as the speed ratio
// (1.0: memory extraction is as fast as the bare inflater). The windowed
// variant reads the entry in 1 MiB windows, each going on from the last, as
// zar extract --stdout does.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "corpus.h"
#include "zarlib32.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kEntrySize = 40u * 1000 * 1000;
constexpr uint32_t kPiece = 65520;

double threadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The corpus, repeated or cut to 40 MB.
const Bytes& entryData() {
    static const Bytes data = [] {
        const Bytes& corpus = zar::bench::corpus();
        Bytes out;
        out.reserve(kEntrySize);
        while (out.size() < kEntrySize)
            out.insert(out.end(), corpus.begin(), corpus.begin() + std::min(corpus.size(), kEntrySize - out.size()));
        return out;
    }();
    return data;
}

const Bytes& rawStream() {
    static const Bytes stream = [] {
        const Bytes& data = entryData();
        z_stream z{};
        deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        Bytes out(deflateBound(&z, data.size()));
        z.next_in = const_cast<Bytef*>(data.data());
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }();
    return stream;
}

void put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// A ZIP file holding the stream as the one entry "big.bin"; removed at exit.
const std::string& archivePath() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string name = std::string(base && *base ? base : "/tmp") + "/zar-bench-memory-" +
                           std::to_string(::getpid()) + ".zip";
        const Bytes& data = entryData();
        const Bytes& stream = rawStream();
        const uint32_t crc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
        const std::string entry = "big.bin";
        Bytes head, tail;
        for (Bytes* out : {&head, &tail}) {
            const bool central = out == &tail;
            put32(*out, central ? 0x02014B50 : 0x04034B50);
            if (central) put16(*out, 20);
            put16(*out, 20);  // version needed
            put16(*out, 0);   // flags
            put16(*out, 8);   // deflated
            put32(*out, 0x5A216000);  // time and date
            put32(*out, crc);
            put32(*out, static_cast<uint32_t>(stream.size()));
            put32(*out, static_cast<uint32_t>(data.size()));
            put16(*out, static_cast<uint32_t>(entry.size()));
            put16(*out, 0);  // extra
            if (central) {
                put16(*out, 0), put16(*out, 0), put16(*out, 0);  // comment, disk, internal
                put32(*out, 0);                                  // external attributes
                put32(*out, 0);                                  // local header at 0
            }
            out->insert(out->end(), entry.begin(), entry.end());
        }
        const uint32_t directoryAt = static_cast<uint32_t>(head.size() + stream.size());
        put32(tail, 0x06054B50);
        put16(tail, 0), put16(tail, 0), put16(tail, 1), put16(tail, 1);
        put32(tail, static_cast<uint32_t>(tail.size() - 4 - 8));  // the central record's size
        put32(tail, directoryAt);
        put16(tail, 0);
        FILE* f = std::fopen(name.c_str(), "wb");
        if (f == nullptr) std::abort();
        std::fwrite(head.data(), 1, head.size(), f);
        std::fwrite(stream.data(), 1, stream.size(), f);
        std::fwrite(tail.data(), 1, tail.size(), f);
        std::fclose(f);
        static const std::string removeAtExit = name;
        std::atexit([] { std::remove(removeAtExit.c_str()); });
        return name;
    }();
    return path;
}

Bytes& destination() {
    static Bytes out(kEntrySize, 0);
    return out;
}

// The raw inflater over the stream in memory, 65520-byte input pieces, the
// output straight into the destination.
size_t decodeRaw(uint8_t* out) {
    static Bytes work(AxInflateUCBufSize());
    const Bytes& stream = rawStream();
    AxInflateUCInit(work.data());
    size_t in = 0, produced = 0;
    for (;;) {
        const uint32_t left = static_cast<uint32_t>(std::min<size_t>(kPiece, stream.size() - in));
        const int16_t last = in + left == stream.size();
        uint32_t offset = 0;
        for (;;) {
            if (produced == kEntrySize) return produced;
            const uint32_t room = static_cast<uint32_t>(std::min<size_t>(kPiece, kEntrySize - produced));
            uint32_t inCount = left - offset, outCount = room;
            const int32_t r = AxInflateUC(stream.data() + in, offset, &inCount, out, static_cast<uint32_t>(produced),
                                          &outCount, work.data(), last);
            produced += outCount;
            offset += inCount;
            if (r != 0) return produced;
            if (offset == left && outCount < room) break;  // the piece is used up
        }
        in += left;
        if (left == 0) return produced;
    }
}

AxHandle openArchive() {
    AxHandle h = AX_NO_ARCHIVE;
    if (Ax4ZipOpen(archivePath().c_str(), AX_OPEN_READ, &h) != 0) std::abort();
    return h;
}

// The whole entry in one call, or in windows of `window` bytes.
bool decodeMemory(AxHandle h, uint8_t* out, uint32_t window) {
    if (window == 0) return Ax4UnZipPtr(h, out, 0, -1, "big.bin", "") == 0;
    for (uint32_t at = 0; at < kEntrySize; at += window) {
        const uint32_t count = std::min<uint32_t>(window, kEntrySize - at);
        if (Ax4UnZipPtr(h, out + at, static_cast<int32_t>(at), static_cast<int32_t>(count), "big.bin", "") != 0)
            return false;
    }
    return true;
}

void BM_MemoryExtractVsRawInflate(benchmark::State& state) {
    const uint32_t window = static_cast<uint32_t>(state.range(0));
    Bytes& out = destination();
    const AxHandle h = openArchive();
    // Both must give the entry's bytes before anything is timed.
    std::fill(out.begin(), out.end(), 0);
    if (decodeRaw(out.data()) != kEntrySize || out != entryData()) state.SkipWithError("raw: wrong output");
    std::fill(out.begin(), out.end(), 0);
    if (!decodeMemory(h, out.data(), window) || out != entryData()) state.SkipWithError("memory: wrong output");

    double raw = 0, memory = 0;
    for (auto _ : state) {
        double t0 = threadSeconds();
        benchmark::DoNotOptimize(decodeRaw(out.data()));
        const double t1 = threadSeconds();
        benchmark::DoNotOptimize(decodeMemory(h, out.data(), window));
        const double t2 = threadSeconds();
        raw += t1 - t0;
        memory += t2 - t1;
        state.SetIterationTime(t2 - t1);
    }
    AxHandle closing = h;
    Ax4ZipClose(&closing);
    const double mb = static_cast<double>(state.iterations()) * kEntrySize / 1e6;
    state.counters["raw_MBps"] = mb / raw;
    state.counters["memory_MBps"] = mb / memory;
    state.counters["memory/raw"] = raw / memory;
    state.counters["packed%"] = 100.0 * static_cast<double>(rawStream().size()) / kEntrySize;
}

}  // namespace

BENCHMARK(BM_MemoryExtractVsRawInflate)
    ->ArgName("window")
    ->Arg(0)
    ->Arg(1 << 20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

BENCHMARK_MAIN();

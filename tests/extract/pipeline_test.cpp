// The decoding pipeline over stored data: blocks, progress, test mode, CRC,
// decryption, windows into memory, cancel and short input.
#include <gtest/gtest.h>

#include <zlib.h>

#include <vector>

#include "codec/crc32.h"
#include "codec/zipcrypto.h"
#include "common/scratch.h"
#include "extract/decoders.h"
#include "extract/pipeline.h"
#include "frame/run_state.h"
#include "zarlib32.h"

namespace {

using namespace zar;

std::vector<StatusRecord> progress;

int16_t AXAPI record(StatusRecord r) {
    if (r.kind == 2) progress.push_back(r);
    return 1;
}

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override {
        progress.clear();
        Ax4SetCPrint(1);
        Ax4CPrintHook(record);
    }
    void TearDown() override {
        Ax4CPrintHook(nullptr);
        Ax4SetCPrint(0);
        frame::takeCancel();
    }

    // A file holding `data`, open for reading at its start.
    fs::File input(const std::vector<uint8_t>& data) {
        test::writeBytes(scratch / "in", data);
        return fs::File(fs::openFile((scratch / "in").c_str(), platform::kAccessRead, platform::kShareRead,
                                     fs::Disposition::OpenExisting, 0, false));
    }
    fs::File output() {
        return fs::File(fs::openFile((scratch / "out").c_str(), platform::kAccessReadWrite, 0,
                                     fs::Disposition::CreateAlways, 0, false));
    }
    static std::vector<uint8_t> pattern(size_t n) {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
        return v;
    }
    static uint32_t crcOf(const std::vector<uint8_t>& v) {
        return ~codec::crc32Update(v.data(), v.size(), 0xFFFFFFFFu);
    }

    test::Scratch scratch;
};

TEST_F(Pipeline, MethodCodes) {
    struct Case {
        uint16_t method, flags;
        int16_t code;
    } cases[] = {{0, 6, 0}, {8, 0, 1}, {8, 2, 2}, {8, 4, 3}, {8, 6, 4}, {10, 0, 5}, {6, 6, 6},
                 {11, 0, 7}, {12, 0, 8}, {1, 0, 9}, {99, 0, 0}, {14, 0, 0}};
    for (const Case& c : cases) EXPECT_EQ(extract::methodCode(c.method, c.flags), c.code) << c.method;
}

TEST_F(Pipeline, EmptyEntry) {
    fs::File in = input({});
    extract::EntryData e;
    e.input = in.get();
    uint32_t crc = 7;
    EXPECT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kOk);
    EXPECT_EQ(crc, 0u);
    EXPECT_EQ(progress.size(), 1u) << "only the first progress report";
}

TEST_F(Pipeline, BlocksOfStoredData) {
    for (size_t size : {1u, 65520u, 65521u, 200000u}) {
        progress.clear();
        auto data = pattern(size);
        fs::File in = input(data);
        fs::File out = output();
        extract::EntryData e{in.get(), static_cast<uint32_t>(size), static_cast<uint32_t>(size), 0, 0, false};
        uint32_t crc;
        ASSERT_EQ(extract::decodeToFile(e, out.get(), &crc), kOk);
        EXPECT_EQ(crc, crcOf(data));
        out.close();
        EXPECT_EQ(test::readBytes(scratch / "out"), data);
        size_t blocks = (size + 65519) / 65520;
        EXPECT_EQ(progress.size(), blocks + 2) << "first, one per block, final for " << size;
        EXPECT_EQ(+progress.back().doneBytes, size);
    }
}

TEST_F(Pipeline, TestModeWritesNothing) {
    auto data = pattern(150000);
    fs::File in = input(data);
    extract::EntryData e{in.get(), 150000, 150000, 0, 0, false};
    uint32_t crc;
    ASSERT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kOk);
    EXPECT_EQ(crc, crcOf(data));
    for (size_t i = 0; i + 1 < progress.size(); ++i) EXPECT_EQ(+progress[i].doneBytes, 0u);
    EXPECT_EQ(+progress.back().doneBytes, 150000u);
}

TEST_F(Pipeline, EncryptedBlocksAreDecrypted) {
    auto data = pattern(100000);
    auto cipher = data;
    codec::sharedKeys().init(reinterpret_cast<const uint8_t*>("pw"), 2);
    codec::sharedKeys().encrypt(cipher.data(), cipher.size());
    fs::File in = input(cipher);
    codec::sharedKeys().init(reinterpret_cast<const uint8_t*>("pw"), 2);
    extract::EntryData e{in.get(), 100000, 100000, 0, 0, true};
    uint32_t crc;
    ASSERT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kOk);
    EXPECT_EQ(crc, crcOf(data));
}

TEST_F(Pipeline, ShortInputCancelAndUnknownMethods) {
    auto data = pattern(100000);
    fs::File in = input(data);
    extract::EntryData e{in.get(), 100001, 100001, 0, 0, false};
    uint32_t crc;
    EXPECT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kShortRead);

    ASSERT_TRUE(fs::seekTo(in.get(), 0));
    e.packedSize = e.unpackedSize = 100000;
    frame::requestCancel();
    EXPECT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kCancelled);
    EXPECT_FALSE(frame::cancelPending());

    for (uint16_t method : {9, 10, 11, 12, 99}) {
        e.method = method;
        EXPECT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kUnknownMethod) << method;
    }
}

TEST_F(Pipeline, FailedWrite) {
    auto data = pattern(100000);
    fs::File in = input(data);
    fs::File out = output();
    extract::EntryData e{in.get(), 100000, 100000, 0, 0, false};
    uint32_t crc;
    platform::failNthCall(platform::Fault::Write, 2);
    EXPECT_EQ(extract::decodeToFile(e, out.get(), &crc), kWriteFailed);
    platform::failNthCall(platform::Fault::Write, 0);
}

// A raw Deflate stream of `data`, as zlib writes it.
std::vector<uint8_t> deflated(const std::vector<uint8_t>& data, int level) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&z, data.size()));
    z.next_in = const_cast<uint8_t*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST_F(Pipeline, DeflatedData) {
    std::vector<uint8_t> data = pattern(300000);
    for (size_t i = 0; i < data.size(); i += 7) data[i] = 'x';  // something to compress
    for (int level : {0, 1, 9}) {
        auto packed = deflated(data, level);
        fs::File in = input(packed);
        extract::EntryData e{in.get(), static_cast<uint32_t>(packed.size()), 300000, 8, 0, false};
        uint32_t crc;
        ASSERT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kOk);
        EXPECT_EQ(crc, crcOf(data)) << level;

        ASSERT_TRUE(fs::seekTo(in.get(), 0));
        std::vector<uint8_t> window(1000);
        uint32_t delivered;
        ASSERT_EQ(extract::decodeToMemory(e, window.data(), 150000, 1000, &delivered), kOk);
        EXPECT_EQ(delivered, 1000u);
        EXPECT_TRUE(std::equal(window.begin(), window.end(), data.begin() + 150000));
    }
}

TEST_F(Pipeline, DamagedDeflateEndsWithoutError) {
    std::vector<uint8_t> data = pattern(100000);
    auto packed = deflated(data, 6);
    for (auto damage : {0, 1, 2}) {
        auto bad = packed;
        if (damage == 0) bad.resize(bad.size() / 2);       // cut short
        if (damage == 1) bad[bad.size() / 3] ^= 0x55;      // flipped bits
        if (damage == 2) std::fill(bad.begin(), bad.begin() + 4, 0xFF);  // bad block header
        fs::File in = input(bad);
        extract::EntryData e{in.get(), static_cast<uint32_t>(bad.size()), 100000, 8, 0, false};
        uint32_t crc;
        EXPECT_EQ(extract::decodeToFile(e, fs::kInvalidFile, &crc), kOk) << damage;
        EXPECT_NE(crc, crcOf(data)) << "the CRC comparison reports it, case " << damage;
    }
}

TEST_F(Pipeline, WindowsIntoMemory) {
    auto data = pattern(200000);
    struct Case {
        int32_t start, count;
        uint32_t delivered;
    } cases[] = {{0, 10, 10}, {65515, 10, 10}, {199990, 100, 10}, {300000, 5, 0}, {0, -1, 200000}, {5, 0, 0}};
    for (const Case& c : cases) {
        fs::File in = input(data);
        extract::EntryData e{in.get(), 200000, 200000, 0, 0, false};
        std::vector<uint8_t> out(c.delivered + 1, 0xEE);
        uint32_t delivered = 99;
        EXPECT_EQ(extract::decodeToMemory(e, out.data(), c.start, c.count, &delivered), kOk);
        EXPECT_EQ(delivered, c.delivered) << c.start;
        if (c.delivered) {
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + c.delivered, data.begin() + c.start)) << c.start;
        }
        EXPECT_EQ(out[c.delivered], 0xEE) << "nothing past the window";
        if (c.start == 0 && c.count == 10) {
            EXPECT_EQ(platform::seekFile(in.get(), 0, platform::SeekFrom::Current), 65520) << "one block read";
        }
    }
    EXPECT_TRUE(progress.empty());
}

}  // namespace

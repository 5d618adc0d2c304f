// Why qvdfufile refuses a file: each check the engine makes, broken in a file that is
// otherwise sound, is named with the values found.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "FileChecks.h"
#include "file/DfuFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes SoundFile(std::uint16_t vendor = 0x1209, std::uint16_t product = 0x4B58) {
    return dfufile::Build(Bytes(64, 0x5A), vendor, product, 0x0103, "QuorVane KX-V5 V1.03");
}

// The suffix's CRC made right again after a change, so that only the change is wrong.
void Reseal(Bytes& file) {
    const std::uint32_t crc = dfufile::Crc32(file.data(), file.size() - 4);
    for (int i = 0; i < 4; ++i)
        file[file.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

std::vector<std::string> Checks(const Bytes& file, qvdfufile::ExpectedDevice device = {}) {
    return qvdfufile::FailedChecks(file.data(), file.size(), device);
}

TEST(FileChecks, ASoundFilePassesAndFitsItsDevice) {
    EXPECT_TRUE(Checks(SoundFile()).empty());
    EXPECT_TRUE(Checks(SoundFile(), {0x1209, 0x4B58}).empty());
    EXPECT_TRUE(Checks(SoundFile(0xFFFF, 0xFFFF), {0x1209, 0x4B58}).empty());  // any device
}

TEST(FileChecks, EachBrokenCheckIsNamedWithTheValuesFound) {
    const struct {
        const char* name;
        std::function<void(Bytes&)> damage;
        bool reseal;  // the CRC is made right again, so that only the damage shows
        std::vector<std::string> expected;
    } cases[] = {
        {"too short",
         [](Bytes& f) { f.resize(10); },
         false,
         {"size: 10 bytes, a DFU suffix alone has 16"}},
        {"signature",
         [](Bytes& f) { f[f.size() - 7] = 'X'; },
         true,
         {"suffix signature: \"UXD\" at offset 100 (8 bytes before the end), expected \"UFD\""}},
        {"signature of an unprintable byte",
         [](Bytes& f) { f[f.size() - 6] = 0x01; },
         true,
         {"suffix signature: \"UF\\x01\" at offset 100"}},
        {"suffix length",
         [](Bytes& f) { f[f.size() - 5] = 12; },
         true,
         {"suffix length (bLength): 12, expected 16 to the file's 108 bytes"}},
        {"DFU version",
         [](Bytes& f) {
             f[f.size() - 9] = 0x01;
             f[f.size() - 10] = 0x1A;
         },
         true,
         {"DFU version (bcdDFU): 0x011A, expected 0x0100"}},
        {"CRC", [](Bytes& f) { f[20] ^= 0xFF; }, false, {"CRC (dwCRC): the file says 0x"}},
        {"header magic",
         [](Bytes& f) { f[0] = 'X'; },
         true,
         {"firmware header: the image starts with \"XVFW\", not \"QVFW\""}},
        {"header length",
         [](Bytes& f) { f[6] = 9; },
         true,
         {"firmware header: header length 9, expected 28 (8 + the comment's 20)"}},
        {"comment",
         [](Bytes& f) { f[10] = 0x07; },
         true,
         {"comment: byte 3 is 0x07, expected printable ASCII"}},
        // Several at once: each is told.
        {"version and CRC",
         [](Bytes& f) { f[f.size() - 10] = 0x10; },
         false,
         {"DFU version (bcdDFU): 0x0110", "CRC (dwCRC)"}},
    };
    for (const auto& c : cases) {
        Bytes file = SoundFile();
        c.damage(file);
        if (c.reseal) Reseal(file);
        const std::vector<std::string> failed = Checks(file);
        ASSERT_EQ(failed.size(), c.expected.size())
            << c.name << ": " << ::testing::PrintToString(failed);
        for (std::size_t i = 0; i < failed.size(); ++i) {
            EXPECT_EQ(failed[i].rfind(c.expected[i], 0), 0u) << c.name << ": " << failed[i];
        }
    }
}

TEST(FileChecks, TheCrcLineGivesTheStoredAndTheComputedValue) {
    Bytes file = SoundFile();
    const std::uint32_t good = dfufile::Crc32(file.data(), file.size() - 4);
    file[file.size() - 1] ^= 0x80;  // the stored CRC's top byte
    char expected[96];
    std::snprintf(expected, sizeof expected,
                  "CRC (dwCRC): the file says 0x%08X, its bytes give 0x%08X", good ^ 0x80000000u,
                  good);
    EXPECT_EQ(Checks(file), std::vector<std::string>{expected});
}

TEST(FileChecks, AFileForAnotherDeviceNamesVendorAndProduct) {
    EXPECT_EQ(Checks(SoundFile(0x1234, 0x4B58), {0x1209, 0x4B58}),
              std::vector<std::string>{
                  "vendor: the file is for 0x1234, the device is 0x1209 (0xFFFF fits any)"});
    EXPECT_EQ(Checks(SoundFile(0x1209, 0x0001), {0x1209, 0x4B58}),
              std::vector<std::string>{
                  "product: the file is for 0x0001, the device is 0x4B58 (0xFFFF fits any)"});
    // Only what was asked for is checked.
    EXPECT_TRUE(Checks(SoundFile(0x1234, 0x0001), {-1, -1}).empty());
}

}  // namespace

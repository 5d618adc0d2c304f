// Our firmware files against dfu-suffix from dfu-util, the reference for the standard suffix.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "EngineHarness.h"

namespace {

using enginetest::Pattern;
using enginetest::TempFile;

bool HaveDfuSuffix() {
    return std::system("command -v dfu-suffix >/dev/null 2>&1") == 0;
}

std::string Shell(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    status = pclose(pipe);
    return out;
}

TEST(DfuSuffixTest, AcceptsOurFiles) {
    if (!HaveDfuSuffix()) GTEST_SKIP() << "dfu-suffix not installed (Debian package dfu-util)";
    for (std::size_t payload : {0u, 1u, 4096u}) {
        TempFile file("ours.dfu");
        file.Write(
            dfufile::Build(Pattern(payload), 0x1209, 0x4B58, 0x0102, "QUORVANE KX-V5 V1.02"));
        int status = 0;
        const std::string out = Shell("dfu-suffix -c '" + file.Narrow() + "'", status);
        EXPECT_EQ(status, 0) << out;
        EXPECT_NE(out.find("Vendor ID:\t0x1209"), std::string::npos) << out;
        EXPECT_NE(out.find("Product ID:\t0x4B58"), std::string::npos) << out;
        EXPECT_NE(out.find("BCD device:\t0x0102"), std::string::npos) << out;
        EXPECT_NE(out.find("BCD DFU:\t0x0100"), std::string::npos) << out;
    }
}

TEST(DfuSuffixTest, WeAcceptItsSuffixAndRefuseItsCorruption) {
    if (!HaveDfuSuffix()) GTEST_SKIP() << "dfu-suffix not installed (Debian package dfu-util)";
    auto image = dfufile::Build(Pattern(777), 0, 0, 0, "QUORVANE KX-V5 V1.03");
    image.resize(image.size() - dfufile::kSuffixLength);
    TempFile file("theirs.dfu");
    file.Write(image);
    int status = 0;
    const std::string out =
        Shell("dfu-suffix -a '" + file.Narrow() + "' -v 1209 -p 4b58 -d 0103", status);
    ASSERT_EQ(status, 0) << out;
    auto data = file.Read();
    dfufile::FileInfo info;
    ASSERT_EQ(dfufile::Parse(data.data(), data.size(), info), dfufile::FileError::ok);
    EXPECT_EQ(info.vendor, 0x1209);
    EXPECT_EQ(info.product, 0x4B58);
    EXPECT_EQ(info.release, 0x0103);
    EXPECT_EQ(info.comment, "QUORVANE KX-V5 V1.03");

    // And both sides refuse the same corrupted byte.
    data[100] ^= 0x10;
    file.Write(data);
    Shell("dfu-suffix -c '" + file.Narrow() + "'", status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(dfufile::Parse(data.data(), data.size(), info), dfufile::FileError::bad_crc);
}

}  // namespace

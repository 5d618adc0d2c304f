// The firmware file format and its validator: what is accepted, what is refused and that
// nothing is read outside the file.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "EngineHarness.h"

namespace {

using dfufile::FileError;
using enginetest::Pattern;
using enginetest::TempFile;

std::vector<std::uint8_t> Sample(std::size_t payload = 300) {
    return dfufile::Build(Pattern(payload), 0x1209, 0x4B58, 0x0102, "QUORVANE KX-V5 V1.02");
}

// Rewrites dwCRC so that a mutation is judged by the field it changed, not by the CRC.
void Recrc(std::vector<std::uint8_t>& file) {
    const std::uint32_t crc = dfufile::Crc32(file.data(), file.size() - 4);
    for (int i = 0; i < 4; ++i)
        file[file.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
}

// Parses from a heap block of exactly the file's size, so that any read past it is caught by
// the address sanitizer.
FileError ParseExact(const std::vector<std::uint8_t>& file, dfufile::FileInfo& info) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[file.size() + (file.empty() ? 1 : 0)]);
    if (!file.empty()) std::memcpy(exact.get(), file.data(), file.size());
    return dfufile::Parse(file.empty() ? exact.get() : exact.get(), file.size(), info);
}

TEST(DfuFileTest, CrcIsTheReflectedCrc32WithoutFinalInversion) {
    const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(dfufile::Crc32(text, sizeof text), 0x340BC6D9u);  // ~0xCBF43926
    // Pieces chain to the same value as the whole.
    EXPECT_EQ(dfufile::Crc32(text + 4, 5, dfufile::Crc32(text, 4)), 0x340BC6D9u);
}

TEST(DfuFileTest, BuiltFileParsesWithItsFields) {
    const auto file = Sample(300);
    dfufile::FileInfo info;
    ASSERT_EQ(ParseExact(file, info), FileError::ok);
    EXPECT_EQ(info.vendor, 0x1209);
    EXPECT_EQ(info.product, 0x4B58);
    EXPECT_EQ(info.release, 0x0102);
    EXPECT_EQ(info.dfuVersion, 0x0100);
    EXPECT_EQ(info.comment, "QUORVANE KX-V5 V1.02");
    EXPECT_EQ(info.imageSize, file.size() - 16);
    EXPECT_EQ(info.payloadOffset, 8u + 20u);
    EXPECT_EQ(std::memcmp(file.data() + info.payloadOffset, Pattern(300).data(), 300), 0);
}

TEST(DfuFileTest, FilesShorterThanTheSuffixAreRefused) {
    const auto file = Sample();
    for (std::size_t n = 0; n < 16; ++n) {
        // Both the head of a file and the tail of one (which holds a suffix's last bytes).
        std::vector<std::uint8_t> head(file.begin(), file.begin() + static_cast<long>(n));
        std::vector<std::uint8_t> tail(file.end() - static_cast<long>(n), file.end());
        dfufile::FileInfo info;
        EXPECT_EQ(ParseExact(head, info), FileError::too_short) << n;
        EXPECT_EQ(ParseExact(tail, info), FileError::too_short) << n;
    }
}

struct Mutation {
    const char* name;
    void (*apply)(std::vector<std::uint8_t>& file);
    FileError expected;
};

const Mutation kMutations[] = {
    {"payload byte flipped", [](auto& f) { f[40] ^= 0x01; }, FileError::bad_crc},
    {"crc byte flipped", [](auto& f) { f[f.size() - 1] ^= 0x80; }, FileError::bad_crc},
    {"suffix vendor changed, crc kept", [](auto& f) { f[f.size() - 12] ^= 1; }, FileError::bad_crc},
    {"truncated by one byte", [](auto& f) { f.pop_back(); }, FileError::bad_suffix},
    {"signature wrong",
     [](auto& f) {
         f[f.size() - 8] = 'X';
         Recrc(f);
     },
     FileError::bad_suffix},
    {"suffix length 15",
     [](auto& f) {
         f[f.size() - 5] = 15;
         Recrc(f);
     },
     FileError::bad_suffix},
    {"suffix length past the file start",
     [](auto& f) {
         f.erase(f.begin(), f.end() - 200);
         f[f.size() - 5] = 255;
         Recrc(f);
     },
     FileError::bad_suffix},
    {"suffix spans the whole file",
     [](auto& f) {
         f.erase(f.begin(), f.end() - 40);
         f[f.size() - 5] = 40;
         Recrc(f);
     },
     FileError::bad_header},
    {"DFU version 0x011A",
     [](auto& f) {
         f[f.size() - 10] = 0x1A;
         f[f.size() - 9] = 0x01;
         Recrc(f);
     },
     FileError::bad_suffix},
    {"no header magic",
     [](auto& f) {
         f[0] = 'X';
         Recrc(f);
     },
     FileError::bad_header},
    {"header version 2",
     [](auto& f) {
         f[4] = 2;
         Recrc(f);
     },
     FileError::bad_header},
    {"comment length 0",
     [](auto& f) {
         f[5] = 0;
         f[6] = 8;
         Recrc(f);
     },
     FileError::bad_header},
    {"comment past the image",
     [](auto& f) {
         f.erase(f.begin() + 28, f.end() - 16);
         f[5] = 100;
         f[6] = 108;
         Recrc(f);
     },
     FileError::bad_header},
    {"comment with a control character",
     [](auto& f) {
         f[10] = '\n';
         Recrc(f);
     },
     FileError::bad_header},
    {"header length disagrees",
     [](auto& f) {
         f[6] = 27;
         Recrc(f);
     },
     FileError::bad_header},
};

class DfuFileMutationTest : public ::testing::TestWithParam<Mutation> {};

TEST_P(DfuFileMutationTest, IsRefused) {
    auto file = Sample();
    GetParam().apply(file);
    dfufile::FileInfo info;
    EXPECT_EQ(ParseExact(file, info), GetParam().expected);
    EXPECT_TRUE(info.comment.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, DfuFileMutationTest, ::testing::ValuesIn(kMutations),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (auto& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return n;
                         });

TEST(DfuFileTest, LongerSuffixWithExtraFieldsIsAccepted) {
    // Extra suffix fields sit in front of the standard 16 bytes: the image ends earlier.
    auto image = Sample(50);
    image.resize(image.size() - 16);
    image.insert(image.end(), {0xAA, 0xBB, 0xCC, 0xDD});
    std::vector<std::uint8_t> file = image;
    file.insert(file.end(),
                {0x02, 0x01, 0x58, 0x4B, 0x09, 0x12, 0x00, 0x01, 'U', 'F', 'D', 20, 0, 0, 0, 0});
    Recrc(file);
    dfufile::FileInfo info;
    ASSERT_EQ(ParseExact(file, info), FileError::ok);
    EXPECT_EQ(info.suffixLength, 20u);
    EXPECT_EQ(info.imageSize, image.size() - 4);
}

TEST(DfuFileTest, CommentRules) {
    EXPECT_TRUE(dfufile::IsValidComment("QUORVANE KX-V5 V1.02"));
    EXPECT_TRUE(dfufile::IsValidComment(std::string(127, 'a')));
    EXPECT_FALSE(dfufile::IsValidComment(std::string(128, 'a')));
    EXPECT_FALSE(dfufile::IsValidComment(""));
    EXPECT_FALSE(dfufile::IsValidComment("caf\xC3\xA9"));
}

TEST(DfuFileTest, IsDFUFileValidReadsAFile) {
    TempFile file("valid.dfu");
    file.Write(Sample());
    CStringX comment;
    std::uint32_t vendor = 1, product = 1, release = 1;
    ASSERT_TRUE(DFUEngine::IsDFUFileValid(file.Wide().c_str(), comment, vendor, product, release));
    EXPECT_STREQ(comment.GetString(), L"QUORVANE KX-V5 V1.02");
    EXPECT_EQ(vendor, 0x1209u);
    EXPECT_EQ(product, 0x4B58u);
    EXPECT_EQ(release, 0x0102u);
}

TEST(DfuFileTest, IsDFUFileValidRefusesAndClearsOutputs) {
    TempFile file("broken.dfu");
    auto data = Sample();
    data[30] ^= 0xFF;
    file.Write(data);
    TempFile missing("missing.dfu");
    for (const std::wstring& name : {file.Wide(), missing.Wide(), std::wstring()}) {
        CStringX comment(L"stale");
        std::uint32_t vendor = 7, product = 7, release = 7;
        EXPECT_FALSE(DFUEngine::IsDFUFileValid(name.c_str(), comment, vendor, product, release));
        EXPECT_TRUE(comment.IsEmpty());
        EXPECT_EQ(vendor + product + release, 0u);
    }
}

TEST(EngineStringsTest, WideStringCopiesAndCompares) {
    CStringX a(L"abc");
    CStringX b = a;
    a = L"xyz";
    EXPECT_STREQ(b.GetString(), L"abc");
    EXPECT_EQ(a.GetLength(), 3u);
    a = a;  // self-assignment keeps the text
    EXPECT_STREQ(a, L"xyz");
    CStringX none(nullptr);
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_STREQ(none.GetString(), L"");
    EXPECT_TRUE(CStringX(L"q") == CStringX(L"q"));
    EXPECT_TRUE(CStringX(L"q") != CStringX(L"qq"));
}

TEST(EngineStringsTest, ListWalksFromTheHeadInOrder) {
    CStringListX list;
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail(L"one");
    list.AddTail(L"two");
    list.AddTail(L"three");
    CStringListX copy = list;
    list.RemoveAll();
    std::vector<std::wstring> seen;
    for (auto pos = copy.GetHeadPosition(); pos != nullptr;)
        seen.push_back(copy.GetNext(pos).GetString());
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"one", L"two", L"three"}));
    EXPECT_EQ(copy.GetCount(), 3u);
    EXPECT_TRUE(list.IsEmpty());
}

}  // namespace

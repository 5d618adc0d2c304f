// Conversions between the caller's 8-bit text and the engine's wide text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/StringConvert.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace bridge {
namespace {

std::wstring Widened(const std::string& text) {
    WideBuffer wide;
    EXPECT_TRUE(Widen(text.c_str(), wide)) << text;
    return wide;
}

TEST(StringConvertTest, WideBufferHolds511CharactersAndTheTerminator) {
    WideBuffer wide;
    EXPECT_TRUE(Widen(std::string(511, 'x').c_str(), wide));
    EXPECT_EQ(std::wstring(511, L'x'), std::wstring(wide));
    EXPECT_FALSE(Widen(std::string(512, 'x').c_str(), wide));
    EXPECT_FALSE(Widen(nullptr, wide));
    EXPECT_TRUE(Widen("", wide));
    EXPECT_EQ(L'\0', wide[0]);
}

TEST(StringConvertTest, StoreNarrowAddsTerminatorAndOneMoreZero) {
    char out[8];
    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_TRUE(StoreNarrow(L"abc", out, sizeof out, Fit::kWholeOnly));
    EXPECT_EQ(std::string("abc\0\0xxx", 8), std::string(out, 8));

    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_TRUE(StoreNarrow(L"", out, sizeof out, Fit::kWholeOnly));
    EXPECT_EQ(std::string("\0\0xxxxxx", 8), std::string(out, 8));
}

TEST(StringConvertTest, StoreNarrowAtTheCapacityBoundary) {
    char out[8 + 4];
    // Six characters and two zero bytes fill 8 bytes exactly.
    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_TRUE(StoreNarrow(L"abcdef", out, 8, Fit::kWholeOnly));
    EXPECT_EQ(std::string("abcdef\0\0xxxx", 12), std::string(out, 12));

    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_FALSE(StoreNarrow(L"abcdefg", out, 8, Fit::kWholeOnly));
    EXPECT_EQ(std::string(12, 'x'), std::string(out, 12));

    std::fill(std::begin(out), std::end(out), 'x');
    EXPECT_FALSE(StoreNarrow(L"abcdefg", out, 8, Fit::kCutAtCharacter));
    EXPECT_EQ(std::string("abcdef\0\0xxxx", 12), std::string(out, 12));
}

#if defined(_WIN32)

// Inwards the ANSI code page, outwards the OEM code page: with Western defaults (1252 and
// 437) "é" is 0xE9 going in and 0x82 coming out.
TEST(StringConvertWinTest, AnsiInOemOut) {
    if (GetACP() != 1252 || GetOEMCP() != 437) {
        GTEST_SKIP() << "code pages " << GetACP() << "/" << GetOEMCP();
    }
    EXPECT_EQ(std::wstring(L"caf\u00e9"), Widened("caf\xe9"));
    char out[8] = {};
    EXPECT_TRUE(StoreNarrow(L"caf\u00e9", out, sizeof out, Fit::kWholeOnly));
    EXPECT_EQ(std::string("caf\x82"), std::string(out));
}

#else

TEST(StringConvertPosixTest, Utf8RoundTrip) {
    const std::string text = "KX-V5 \xe9\x9f\x8c\xe9\xab\x94 caf\xc3\xa9 \xf0\x9f\x8e\xa7";
    const std::wstring wide = Widened(text);
    EXPECT_EQ(std::wstring(L"KX-V5 \u97cc\u9ad4 caf\u00e9 \U0001F3A7"), wide);
    char out[64];
    EXPECT_TRUE(StoreNarrow(wide.c_str(), out, sizeof out, Fit::kWholeOnly));
    EXPECT_EQ(text, std::string(out));
}

TEST(StringConvertPosixTest, LimitCountsCharactersNotBytes) {
    std::string text;
    for (int i = 0; i < 511; ++i) {
        text += "\xe4\xb8\xad";  // 3 bytes, one character
    }
    WideBuffer wide;
    EXPECT_TRUE(Widen(text.c_str(), wide));
    EXPECT_EQ(std::wstring(511, L'\u4e2d'), std::wstring(wide));
    text += "\xe4\xb8\xad";
    EXPECT_FALSE(Widen(text.c_str(), wide));
}

TEST(StringConvertPosixTest, MalformedInputBecomesReplacementCharacters) {
    struct Case {
        std::string in;
        std::wstring out;
    };
    const Case cases[] = {
        {"a\xff"
         "b",
         L"a\ufffdb"},                            // never valid
        {"a\xc3", L"a\ufffd"},                    // cut before the terminator
        {"\xc0\xaf", L"\ufffd\ufffd"},            // overlong
        {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},  // UTF-16 surrogate
        {"\xe4\xb8x", L"\ufffd\ufffdx"},          // short sequence
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.out, Widened(c.in)) << c.in;
    }
}

TEST(StringConvertPosixTest, CharactersWithoutUtf8FormBecomeQuestionMarks) {
    const wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000),
                            L'b', 0};
    char out[16];
    EXPECT_TRUE(StoreNarrow(text, out, sizeof out, Fit::kWholeOnly));
    EXPECT_EQ(std::string("a??b"), std::string(out));
}

TEST(StringConvertPosixTest, CutNeverSplitsAMultiByteCharacter) {
    // 200 one-byte and 30 two-byte characters: 260 bytes, of which 254 fit a 256-byte buffer.
    std::wstring text(200, L'a');
    text += std::wstring(30, L'\u00e9');
    std::vector<char> out(256 + 8, 'x');
    EXPECT_FALSE(StoreNarrow(text.c_str(), out.data(), 256, Fit::kCutAtCharacter));
    std::string expected(200, 'a');
    for (int i = 0; i < 27; ++i) {
        expected += "\xc3\xa9";
    }
    EXPECT_EQ(expected, std::string(out.data()));
    EXPECT_EQ('\0', out[255]);
    EXPECT_EQ(std::string(8, 'x'), std::string(&out[256], 8));

    // One byte less room: the last "é" no longer fits whole and is dropped entirely.
    std::fill(out.begin(), out.end(), 'x');
    StoreNarrow(text.c_str(), out.data(), 255, Fit::kCutAtCharacter);
    EXPECT_EQ(expected.substr(0, 252), std::string(out.data()));
    EXPECT_EQ('\0', out[253]);
    EXPECT_EQ('x', out[254]);
}

#endif

}  // namespace
}  // namespace bridge

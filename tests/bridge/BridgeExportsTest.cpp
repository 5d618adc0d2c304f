// The exports over a stand-in engine: handles, strings in both directions, device names,
// file checks, status records.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "FakeEngine.h"
#include "bridge/DfuBridge.h"

namespace {

DFUEngine* EngineOf(DfuEngineHandle handle) {
    return reinterpret_cast<DFUEngine*>(handle);
}

class BridgeExportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        handle_ = DFUEngine_Create();
        ASSERT_NE(nullptr, handle_);
    }
    void TearDown() override { DFUEngine_Destroy(handle_); }

    fake::EngineState& State() { return fake::StateOf(EngineOf(handle_)); }

    DfuEngineHandle handle_ = nullptr;
};

TEST_F(BridgeExportsTest, CreateAndDestroyOwnOneEngineEach) {
    const int before = fake::Library().liveEngines;
    DfuEngineHandle second = DFUEngine_Create();
    ASSERT_NE(nullptr, second);
    EXPECT_NE(handle_, second);
    EXPECT_EQ(before + 1, fake::Library().liveEngines);
    DFUEngine_Destroy(second);
    EXPECT_EQ(before, fake::Library().liveEngines);
    DFUEngine_Destroy(nullptr);  // ignored
    EXPECT_EQ(before, fake::Library().liveEngines);
}

TEST_F(BridgeExportsTest, InitDllReachesTheEngine) {
    DFUEngine_InitDLL();
    EXPECT_EQ(1, fake::Library().initCalls);
}

TEST(BridgeTraceLevelTest, ReturnsItsArgument) {
    for (int32_t level : {0, 1, 7, -1, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(level, DFUEngine_SetTraceLevel(level));
    }
}

// Every export that hands a name to the engine: the wide name arrives whole, the engine's
// answer comes back unchanged, and a name that does not fit 512 wide characters (with its
// terminator) or a null name is refused before the engine is called.
struct NameCall {
    const char* what;
    DfuBool (*call)(DfuEngineHandle, const char*);
    std::wstring seenPrefix;
};

const NameCall kNameCalls[] = {
    {"CreateUSB", DFUEngine_CreateUSB, L"CreateUSB "},
    {"StartUpload", DFUEngine_StartUpload, L"Upload "},
    {"StartDownload", DFUEngine_StartDownload, L"Download "},
    {"StartReconfigure",
     [](DfuEngineHandle h, const char* name) { return DFUEngine_StartReconfigure(h, 1, 0, name); },
     L"Reconfigure 1 0 "},
};

TEST_F(BridgeExportsTest, NamesReachTheEngineAndAnswersComeBack) {
    for (const NameCall& c : kNameCalls) {
        SCOPED_TRACE(c.what);
        State().calls.clear();
        State().answer = true;
        EXPECT_NE(0, c.call(handle_, "C:\\fw\\KX-V5_1.2.dfu"));
        State().answer = false;
        EXPECT_EQ(0, c.call(handle_, "dev"));
        EXPECT_EQ((std::vector<std::wstring>{c.seenPrefix + L"C:\\fw\\KX-V5_1.2.dfu",
                                             c.seenPrefix + L"dev"}),
                  State().calls);
    }
}

TEST_F(BridgeExportsTest, NamesOfUpTo511CharactersPassLongerOnesAreRefused) {
    const std::string longest(511, 'n');
    const std::string tooLong(512, 'n');
    for (const NameCall& c : kNameCalls) {
        SCOPED_TRACE(c.what);
        State().calls.clear();
        EXPECT_NE(0, c.call(handle_, longest.c_str()));
        EXPECT_EQ(0, c.call(handle_, tooLong.c_str()));
        EXPECT_EQ(0, c.call(handle_, nullptr));
        ASSERT_EQ(1u, State().calls.size());
        EXPECT_EQ(c.seenPrefix + std::wstring(511, L'n'), State().calls[0]);
    }
}

TEST_F(BridgeExportsTest, ReconfigureFlagsAreAnyNonZeroValue) {
    DFUEngine_StartReconfigure(handle_, 0, 7, "f");
    DFUEngine_StartReconfigure(handle_, -1, 0, "f");
    DFUEngine_StartReconfigure(handle_, 0, 0, "f");
    EXPECT_EQ((std::vector<std::wstring>{L"Reconfigure 0 1 f", L"Reconfigure 1 0 f",
                                         L"Reconfigure 0 0 f"}),
              State().calls);
}

TEST_F(BridgeExportsTest, ManifestPassesTheEnginesAnswer) {
    EXPECT_NE(0, DFUEngine_StartManifest(handle_));
    State().answer = false;
    EXPECT_EQ(0, DFUEngine_StartManifest(handle_));
    EXPECT_EQ(2u, State().calls.size());
}

TEST_F(BridgeExportsTest, NullHandleIsAFailureNotACrash) {
    EXPECT_EQ(0, DFUEngine_CreateUSB(nullptr, "dev"));
    EXPECT_EQ(0, DFUEngine_StartReconfigure(nullptr, 1, 1, "f"));
    EXPECT_EQ(0, DFUEngine_StartDownload(nullptr, "f"));
    EXPECT_EQ(0, DFUEngine_StartUpload(nullptr, "f"));
    EXPECT_EQ(0, DFUEngine_StartManifest(nullptr));
    DfuStatusRecord record;
    std::memset(&record, 0x5A, sizeof record);
    DFUEngine_GetStatus(nullptr, &record);
    EXPECT_EQ(0x5A5A5A5A, record.percent);
}

TEST_F(BridgeExportsTest, StatusIsCopiedFieldByField) {
    State().status.state = DFUEngine::step_running;
    State().status.percent = 42;
    State().status.activity =
        DFUEngine::Activity(DFUEngine::download_verify, DFUEngine::transport_usb_check, 3000, 70000,
                            DFUEngine::Result(DFUEngine::fail_dfu_verify));
    DfuStatusRecord record;
    std::memset(&record, 0xEE, sizeof record);
    DFUEngine_GetStatus(handle_, &record);
    EXPECT_EQ(1, record.state);
    EXPECT_EQ(42, record.percent);
    EXPECT_EQ(10, record.operation);
    EXPECT_EQ(3000, record.bytesDone);
    EXPECT_EQ(70000, record.bytesTotal);
    EXPECT_EQ(25, record.result);
    EXPECT_EQ(7, record.subOperation);
}

// --- Device names: 24 slots of 256 bytes, nothing written past them ---

class DeviceNamesTest : public BridgeExportsTest {
  protected:
    static constexpr size_t kBuffer = DFU_DEVICE_NAME_SLOTS * DFU_DEVICE_NAME_SLOT;
    static constexpr char kFill = '\x5A';

    int32_t List() {
        buffer_.assign(kBuffer + 64, kFill);  // 64 guard bytes after the caller's room
        return DFUEngine_GetUSBDeviceNames(nullptr, buffer_.data());
    }
    std::string Slot(int i) const { return std::string(&buffer_[DFU_DEVICE_NAME_SLOT * i]); }
    bool Untouched(size_t from, size_t to) const {
        for (size_t i = from; i < to; ++i) {
            if (buffer_[i] != kFill) {
                return false;
            }
        }
        return true;
    }

    std::vector<char> buffer_;
};

TEST_F(DeviceNamesTest, NoDeviceGivesZeroAndLeavesTheBufferAlone) {
    EXPECT_EQ(0, List());
    EXPECT_TRUE(Untouched(0, buffer_.size()));
}

TEST_F(DeviceNamesTest, TwoDevicesAtOffsets0And256EachFollowedByTwoZeros) {
    fake::Library().deviceNames = {L"\\\\?\\usb#vid_0a12&pid_ffff#1", L"sim:dfu-2"};
    ASSERT_EQ(2, List());
    const std::string first = "\\\\?\\usb#vid_0a12&pid_ffff#1";
    EXPECT_EQ(0, std::memcmp(buffer_.data(), first.c_str(), first.size() + 1));
    EXPECT_EQ('\0', buffer_[first.size() + 1]);
    EXPECT_TRUE(Untouched(first.size() + 2, 256));
    EXPECT_EQ(0, std::memcmp(&buffer_[256], "sim:dfu-2\0\0", 11));
    EXPECT_TRUE(Untouched(256 + 11, buffer_.size()));
}

TEST_F(DeviceNamesTest, AtMost24NamesAreStored) {
    for (int i = 0; i < 30; ++i) {
        fake::Library().deviceNames.push_back(L"device-" + std::to_wstring(i));
    }
    ASSERT_EQ(24, List());
    EXPECT_EQ("device-0", Slot(0));
    EXPECT_EQ("device-23", Slot(23));
    EXPECT_TRUE(Untouched(kBuffer, buffer_.size()));
}

TEST_F(DeviceNamesTest, NameOf254BytesFillsItsSlotLongerNamesAreLeftOut) {
    const std::wstring fits(254, L'a');
    const std::wstring tooLong(255, L'b');
    fake::Library().deviceNames = {tooLong, fits, L"after"};
    ASSERT_EQ(2, List());
    EXPECT_EQ(std::string(254, 'a'), Slot(0));
    EXPECT_EQ('\0', buffer_[255]);
    EXPECT_EQ("after", Slot(1));
    EXPECT_TRUE(Untouched(256 + 7, buffer_.size()));
}

TEST_F(DeviceNamesTest, NullBufferGivesZero) {
    fake::Library().deviceNames = {L"dev"};
    EXPECT_EQ(0, DFUEngine_GetUSBDeviceNames(handle_, nullptr));
}

// --- File check: optional outputs, 256-byte comment ---

class FileCheckTest : public BridgeExportsTest {
  protected:
    void SetUp() override {
        BridgeExportsTest::SetUp();
        fake::Library().comment = L"QV KX-V5 FW 1.2";
        fake::Library().vendor = 0x0A12;
        fake::Library().product = 0xFFFF;
        fake::Library().release = 0x0120;
        comment_.assign(DFU_FILE_COMMENT_SIZE + 32, '\x5A');
    }

    std::vector<char> comment_;
    uint32_t vendor_ = 1, product_ = 1, release_ = 1;
};

TEST_F(FileCheckTest, GivesAnswerCommentAndValues) {
    EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, "C:\\KX-V5_1.2.dfu", comment_.data(), &vendor_,
                                          &product_, &release_));
    EXPECT_EQ(0, std::memcmp(comment_.data(), "QV KX-V5 FW 1.2\0\0", 17));
    EXPECT_EQ('\x5A', comment_[17]);
    EXPECT_EQ(0x0A12u, vendor_);
    EXPECT_EQ(0xFFFFu, product_);
    EXPECT_EQ(0x0120u, release_);
    EXPECT_EQ(std::vector<std::wstring>{L"C:\\KX-V5_1.2.dfu"}, fake::Library().checkedFiles);
}

TEST_F(FileCheckTest, AllOptionalOutputsNullStillAnswers) {
    EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", nullptr, nullptr, nullptr, nullptr));
    fake::Library().fileValid = false;
    EXPECT_EQ(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2u, fake::Library().checkedFiles.size());
}

TEST_F(FileCheckTest, EachOutputMayBeNullOnItsOwn) {
    EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", nullptr, nullptr, &product_, nullptr));
    EXPECT_EQ(0xFFFFu, product_);
    EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", nullptr, &vendor_, nullptr, &release_));
    EXPECT_EQ(0x0A12u, vendor_);
    EXPECT_EQ(0x0120u, release_);
}

TEST_F(FileCheckTest, OutputsAreWrittenOnARefusalToo) {
    fake::Library().fileValid = false;
    EXPECT_EQ(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", comment_.data(), &vendor_, &product_,
                                          &release_));
    EXPECT_STREQ("QV KX-V5 FW 1.2", comment_.data());
    EXPECT_EQ(0x0A12u, vendor_);
}

TEST_F(FileCheckTest, OverlongNameIsRefusedWithEmptyOutputs) {
    const std::string tooLong(512, 'f');
    EXPECT_EQ(0, DFUEngine_IsDFUFileValid(nullptr, tooLong.c_str(), comment_.data(), &vendor_,
                                          &product_, &release_));
    EXPECT_TRUE(fake::Library().checkedFiles.empty());
    EXPECT_EQ(0, std::memcmp(comment_.data(), "\0\0", 2));
    EXPECT_EQ(0u, vendor_);
    EXPECT_EQ(0u, product_);
    EXPECT_EQ(0u, release_);
}

TEST_F(FileCheckTest, LongCommentIsCutToFitTheBuffer) {
    for (size_t length : {254u, 255u, 300u, 5000u}) {
        SCOPED_TRACE(length);
        fake::Library().comment.assign(length, L'c');
        comment_.assign(DFU_FILE_COMMENT_SIZE + 32, '\x5A');
        EXPECT_NE(0, DFUEngine_IsDFUFileValid(nullptr, "a.dfu", comment_.data(), nullptr, nullptr,
                                              nullptr));
        EXPECT_EQ(std::string(254, 'c'), std::string(comment_.data()));
        EXPECT_EQ('\0', comment_[255]);
        EXPECT_EQ(std::string(32, '\x5A'), std::string(&comment_[256], 32));
    }
}

}  // namespace

// The notification adapter: one registration per process, kinds 0, 1, 2 in the engine's
// callback slot order, the status flattened into the 28-byte record.
#include <gtest/gtest.h>

#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "FakeEngine.h"
#include "bridge/DfuBridge.h"

extern "C" size_t DfuRecordSizeSeenFromC(void);
extern "C" size_t DfuRecordOffsetSeenFromC(int field);

namespace {

struct Notification {
    int32_t kind;
    DfuStatusRecord record;
    std::thread::id thread;
};

std::mutex g_mutex;
std::vector<Notification> g_seen;

void Recorder(int32_t kind, const DfuStatusRecord* record) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_seen.push_back({kind, *record, std::this_thread::get_id()});
}

void OtherFunction(int32_t, const DfuStatusRecord*) {}

std::vector<Notification> TakeSeen() {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<Notification> seen;
    seen.swap(g_seen);
    return seen;
}

DFUEngine* EngineOf(DfuEngineHandle handle) {
    return reinterpret_cast<DFUEngine*>(handle);
}

// The adapter exists once per process: every test shares the engine registered first.
DfuEngineHandle RegisteredEngine() {
    static DfuEngineHandle handle = [] {
        DfuEngineHandle h = DFUEngine_Create();
        DFUEngine_SetCallback(h, Recorder);
        return h;
    }();
    return handle;
}

DFUEngine::Status MakeStatus(int percent, DFUEngine::Operation op, DFUEngine::SubOperation sub,
                             uint32_t done, uint32_t total, DFUEngine::ResultCode result) {
    DFUEngine::Status status;
    status.state = DFUEngine::step_running;
    status.percent = percent;
    status.activity = DFUEngine::Activity(op, sub, done, total, DFUEngine::Result(result));
    return status;
}

TEST(DfuStatusRecordTest, SevenInt32FieldsIn28BytesInOrder) {
    EXPECT_EQ(28u, sizeof(DfuStatusRecord));
    EXPECT_EQ(28u, DfuRecordSizeSeenFromC());
    const size_t cpp[] = {
        offsetof(DfuStatusRecord, state),       offsetof(DfuStatusRecord, percent),
        offsetof(DfuStatusRecord, operation),   offsetof(DfuStatusRecord, bytesDone),
        offsetof(DfuStatusRecord, bytesTotal),  offsetof(DfuStatusRecord, result),
        offsetof(DfuStatusRecord, subOperation)};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(4u * i, cpp[i]) << "field " << i;
        EXPECT_EQ(4u * i, DfuRecordOffsetSeenFromC(i)) << "field " << i;
    }
}

TEST(BridgeCallbackTest, RegistrationHandsTheEngineAnAdapterForItsHandleOnly) {
    DfuEngineHandle registered = RegisteredEngine();
    fake::EngineState& state = fake::StateOf(EngineOf(registered));
    EXPECT_NE(nullptr, state.callback);
    EXPECT_EQ(1, state.setCallbackCalls);
    EXPECT_EQ(&Recorder, DFUEngine_GetCallback(registered));

    DfuEngineHandle other = DFUEngine_Create();
    EXPECT_EQ(nullptr, DFUEngine_GetCallback(other));
    EXPECT_EQ(nullptr, DFUEngine_GetCallback(nullptr));
    DFUEngine_Destroy(other);
}

TEST(BridgeCallbackTest, SecondRegistrationIsRefusedAndTheFirstKept) {
    DfuEngineHandle registered = RegisteredEngine();
    DFUEngine::Callback* adapter = fake::StateOf(EngineOf(registered)).callback;

    DfuEngineHandle other = DFUEngine_Create();
    DFUEngine_SetCallback(other, OtherFunction);
    DFUEngine_SetCallback(registered, OtherFunction);
    EXPECT_EQ(0, fake::StateOf(EngineOf(other)).setCallbackCalls);
    EXPECT_EQ(1, fake::StateOf(EngineOf(registered)).setCallbackCalls);
    EXPECT_EQ(adapter, fake::StateOf(EngineOf(registered)).callback);
    EXPECT_EQ(&Recorder, DFUEngine_GetCallback(registered));
    EXPECT_EQ(nullptr, DFUEngine_GetCallback(other));
    DFUEngine_Destroy(other);
}

TEST(BridgeCallbackTest, NotificationsForwardAsKinds012InSlotOrderWithTheRecordFilled) {
    DfuEngineHandle registered = RegisteredEngine();
    DFUEngine::Callback* adapter = fake::StateOf(EngineOf(registered)).callback;
    ASSERT_NE(nullptr, adapter);
    TakeSeen();

    // Called through the base class, as the engine does: the overrides must sit in the
    // engine's slots.
    adapter->OnComplete(EngineOf(registered),
                        MakeStatus(100, DFUEngine::download_verify, DFUEngine::no_sub_operation,
                                   4096, 4096, DFUEngine::fail_dfu_verify));
    adapter->OnActivity(
        nullptr, MakeStatus(0, DFUEngine::reconfigure_connect, DFUEngine::transport_usb_open, 0, 0,
                            DFUEngine::success));
    adapter->OnProgress(EngineOf(registered),
                        MakeStatus(37, DFUEngine::download_progress, DFUEngine::download_processing,
                                   1515, 4096, DFUEngine::success));

    const std::vector<Notification> seen = TakeSeen();
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(2, seen[0].kind);
    EXPECT_EQ(0, seen[1].kind);
    EXPECT_EQ(1, seen[2].kind);

    const DfuStatusRecord& done = seen[0].record;
    EXPECT_EQ(DFUEngine::step_running, done.state);
    EXPECT_EQ(100, done.percent);
    EXPECT_EQ(10, done.operation);
    EXPECT_EQ(4096, done.bytesDone);
    EXPECT_EQ(4096, done.bytesTotal);
    EXPECT_EQ(25, done.result);
    EXPECT_EQ(0, done.subOperation);

    EXPECT_EQ(1, seen[1].record.operation);
    EXPECT_EQ(6, seen[1].record.subOperation);

    const DfuStatusRecord& progress = seen[2].record;
    EXPECT_EQ(37, progress.percent);
    EXPECT_EQ(9, progress.operation);
    EXPECT_EQ(1515, progress.bytesDone);
    EXPECT_EQ(4096, progress.bytesTotal);
    EXPECT_EQ(0, progress.result);
    EXPECT_EQ(9, progress.subOperation);
}

TEST(BridgeCallbackTest, NotificationRunsOnTheEnginesThread) {
    DfuEngineHandle registered = RegisteredEngine();
    DFUEngine::Callback* adapter = fake::StateOf(EngineOf(registered)).callback;
    ASSERT_NE(nullptr, adapter);
    TakeSeen();
    std::thread::id engineThread;
    std::thread worker([&] {
        engineThread = std::this_thread::get_id();
        adapter->OnProgress(
            nullptr, MakeStatus(5, DFUEngine::download_progress, DFUEngine::no_sub_operation, 1, 20,
                                DFUEngine::success));
    });
    worker.join();
    const std::vector<Notification> seen = TakeSeen();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(engineThread, seen[0].thread);
    EXPECT_EQ(5, seen[0].record.percent);
}

}  // namespace

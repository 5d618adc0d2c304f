// A stand-in for DfuBridge in the window's tests.
#include "tests/app/FakeBridge.h"

#include <cstring>

namespace fake_bridge {

State state;

void Notify(int32_t kind, int32_t percent, int32_t operation, int32_t result,
            int32_t subOperation) {
    DfuStatusRecord record{};
    record.percent = percent;
    record.operation = operation;
    record.result = result;
    record.subOperation = subOperation;
    if (state.callback != nullptr) state.callback(kind, &record);
}

}  // namespace fake_bridge

using fake_bridge::state;

extern "C" {

DfuEngineHandle DFUBRIDGE_CALL DFUEngine_Create(void) {
    ++state.creates;
    return state.createResult;
}

void DFUBRIDGE_CALL DFUEngine_Destroy(DfuEngineHandle engine) {
    state.destroyed.push_back(engine);
}

DfuBool DFUBRIDGE_CALL DFUEngine_IsDFUFileValid(DfuEngineHandle, const char* fileName,
                                                char* comment, uint32_t* vendor, uint32_t* product,
                                                uint32_t* release) {
    state.checkedFiles.push_back(fileName);
    if (comment != nullptr) {
        std::strncpy(comment, state.fileComment.c_str(), DFU_FILE_COMMENT_SIZE - 2);
        comment[DFU_FILE_COMMENT_SIZE - 2] = '\0';
    }
    if (vendor) *vendor = 0x0A12;
    if (product) *product = 0x1004;
    if (release) *release = 0x0103;
    return state.fileValid ? 1 : 0;
}

int32_t DFUBRIDGE_CALL DFUEngine_GetUSBDeviceNames(DfuEngineHandle, char* names) {
    if (state.polls++ < state.devicesAfterPolls) return 0;
    int32_t n = 0;
    for (const std::string& name : state.devices) {
        std::strcpy(names + DFU_DEVICE_NAME_SLOT * n, name.c_str());
        ++n;
    }
    return n;
}

void DFUBRIDGE_CALL DFUEngine_SetCallback(DfuEngineHandle, DfuCallback callback) {
    state.callback = callback;
    ++state.callbackRegistrations;
}

DfuBool DFUBRIDGE_CALL DFUEngine_CreateUSB(DfuEngineHandle, const char* deviceName) {
    state.openedDevices.push_back(deviceName);
    return state.createUsbResult ? 1 : 0;
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartReconfigure(DfuEngineHandle, int32_t flag1, int32_t flag2,
                                                  const char* fileName) {
    state.steps.push_back("reconfigure " + std::to_string(flag1) + " " + std::to_string(flag2) +
                          " " + fileName);
    return state.reconfigureResult ? 1 : 0;
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartDownload(DfuEngineHandle, const char* fileName) {
    state.steps.push_back(std::string("download ") + fileName);
    return state.downloadResult ? 1 : 0;
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartManifest(DfuEngineHandle) {
    state.steps.push_back("manifest");
    return state.manifestResult ? 1 : 0;
}

}  // extern "C"

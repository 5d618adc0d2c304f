// The fourteen exported functions: handles in, engine calls, flat results out.
//
// Nothing may unwind out of these functions into a C caller, so each engine call is wrapped
// and an exception becomes the failure answer. A null handle is answered as a failure
// rather than dereferenced.
#include <new>

#include "bridge/DfuBridge.h"
#include "bridge/DfuProgress.h"
#include "bridge/ModuleState.h"
#include "bridge/StringConvert.h"
#include "engine/DFUEngine.h"

namespace {

DFUEngine* EngineOf(DfuEngineHandle handle) {
    return reinterpret_cast<DFUEngine*>(handle);
}

template <typename Call>
DfuBool Answer(Call call) {
    try {
        return call() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

// Runs a start-style engine call with the caller's file name as a wide string. Names that
// do not fit the conversion buffer are refused before the engine sees them.
template <typename Call>
DfuBool WithWideName(DfuEngineHandle handle, const char* name, Call call) {
    DFUEngine* engine = EngineOf(handle);
    bridge::WideBuffer wide;
    if (engine == nullptr || !bridge::Widen(name, wide)) {
        return 0;
    }
    return Answer([&] { return call(*engine, static_cast<const wchar_t*>(wide)); });
}

}  // namespace

extern "C" {

void DFUBRIDGE_CALL DFUEngine_InitDLL(void) {
    try {
        DFUEngine::InitDLL();
    } catch (...) {
    }
}

int32_t DFUBRIDGE_CALL DFUEngine_SetTraceLevel(int32_t level) {
    bridge::g_traceLevel.store(level);
    return level;
}

DfuEngineHandle DFUBRIDGE_CALL DFUEngine_Create(void) {
    try {
        return reinterpret_cast<DfuEngineHandle>(new DFUEngine());
    } catch (...) {
        return nullptr;
    }
}

void DFUBRIDGE_CALL DFUEngine_Destroy(DfuEngineHandle engine) {
    delete EngineOf(engine);
}

DfuBool DFUBRIDGE_CALL DFUEngine_CreateUSB(DfuEngineHandle engine, const char* deviceName) {
    return WithWideName(engine, deviceName,
                        [](DFUEngine& e, const wchar_t* name) { return e.CreateUSB(name); });
}

int32_t DFUBRIDGE_CALL DFUEngine_GetUSBDeviceNames(DfuEngineHandle, char* names) {
    if (names == nullptr) {
        return 0;
    }
    int32_t count = 0;
    try {
        CStringListX list;
        DFUEngine::GetUSBDeviceNames(list);
        for (auto pos = list.GetHeadPosition(); pos != nullptr && count < DFU_DEVICE_NAME_SLOTS;) {
            const CStringX& name = list.GetNext(pos);
            // A cut name would open nothing, so a name too long for its slot is left out.
            if (bridge::StoreNarrow(name.GetString(), names + DFU_DEVICE_NAME_SLOT * count,
                                    DFU_DEVICE_NAME_SLOT, bridge::Fit::kWholeOnly)) {
                ++count;
            }
        }
    } catch (...) {
    }
    return count;
}

void DFUBRIDGE_CALL DFUEngine_SetCallback(DfuEngineHandle engine, DfuCallback callback) {
    DFUEngine* target = EngineOf(engine);
    // One adapter per process: a second registration is refused and the first one kept, so
    // an engine that already holds the adapter never sees it change or vanish.
    if (target == nullptr || bridge::g_progress.load() != nullptr) {
        return;
    }
    auto* adapter = new (std::nothrow) bridge::DFUProgress(callback, engine);
    if (adapter != nullptr) {
        bridge::DFUProgress* none = nullptr;
        if (!bridge::g_progress.compare_exchange_strong(none, adapter)) {
            delete adapter;  // another thread registered first
            return;
        }
    }
    try {
        target->SetCallback(adapter);
    } catch (...) {
    }
}

DfuCallback DFUBRIDGE_CALL DFUEngine_GetCallback(DfuEngineHandle engine) {
    const bridge::DFUProgress* adapter = bridge::g_progress.load();
    if (adapter == nullptr || adapter->GetEngine() != engine) {
        return nullptr;
    }
    return adapter->GetFunction();
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartReconfigure(DfuEngineHandle engine, int32_t flag1,
                                                  int32_t flag2, const char* fileName) {
    return WithWideName(engine, fileName, [&](DFUEngine& e, const wchar_t* name) {
        return e.StartReconfigure(flag1 != 0, flag2 != 0, name);
    });
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartUpload(DfuEngineHandle engine, const char* fileName) {
    return WithWideName(engine, fileName,
                        [](DFUEngine& e, const wchar_t* name) { return e.StartUpload(name); });
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartDownload(DfuEngineHandle engine, const char* fileName) {
    return WithWideName(engine, fileName,
                        [](DFUEngine& e, const wchar_t* name) { return e.StartDownload(name); });
}

DfuBool DFUBRIDGE_CALL DFUEngine_StartManifest(DfuEngineHandle engine) {
    DFUEngine* target = EngineOf(engine);
    if (target == nullptr) {
        return 0;
    }
    return Answer([&] { return target->StartManifest(); });
}

void DFUBRIDGE_CALL DFUEngine_GetStatus(DfuEngineHandle engine, DfuStatusRecord* status) {
    DFUEngine* target = EngineOf(engine);
    if (target == nullptr || status == nullptr) {
        return;
    }
    try {
        DFUEngine::Status current;
        target->GetStatus(current);
        bridge::FillRecord(current, *status);
    } catch (...) {
    }
}

DfuBool DFUBRIDGE_CALL DFUEngine_IsDFUFileValid(DfuEngineHandle, const char* fileName,
                                                char* comment, uint32_t* vendor, uint32_t* product,
                                                uint32_t* release) {
    CStringX text;
    uint32_t values[3] = {0, 0, 0};
    bridge::WideBuffer wide;
    DfuBool valid = 0;
    if (bridge::Widen(fileName, wide)) {
        valid = Answer(
            [&] { return DFUEngine::IsDFUFileValid(wide, text, values[0], values[1], values[2]); });
    }
    // Written whatever the answer; a refused name gives zeros and an empty comment.
    uint32_t* outputs[3] = {vendor, product, release};
    for (int i = 0; i < 3; ++i) {
        if (outputs[i] != nullptr) {
            *outputs[i] = values[i];
        }
    }
    if (comment != nullptr) {
        bridge::StoreNarrow(text.GetString(), comment, DFU_FILE_COMMENT_SIZE,
                            bridge::Fit::kCutAtCharacter);
    }
    return valid;
}

}  // extern "C"

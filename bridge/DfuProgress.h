// DFUProgress: turns the engine's callback interface into the caller's plain function.
#pragma once

#include "bridge/DfuBridge.h"
#include "engine/DFUEngine.h"

namespace bridge {

// Flattens an engine status into the record that crosses the library boundary.
void FillRecord(const DFUEngine::Status& status, DfuStatusRecord& record);

class DFUProgress : public DFUEngine::Callback {
  public:
    DFUProgress(DfuCallback callback, DfuEngineHandle engine)
        : callback_(callback), engine_(engine) {}

    DfuCallback GetFunction() const { return callback_; }
    DfuEngineHandle GetEngine() const { return engine_; }

    // Each forwards as its kind (0, 1, 2) on the calling thread and returns when the caller's
    // function has returned. The engine argument is not needed: the caller knows its handle.
    void OnActivity(DFUEngine* engine, const DFUEngine::Status& status) override;
    void OnProgress(DFUEngine* engine, const DFUEngine::Status& status) override;
    void OnComplete(DFUEngine* engine, const DFUEngine::Status& status) override;

  private:
    void Forward(int32_t kind, const DFUEngine::Status& status) const;

    DfuCallback callback_;
    DfuEngineHandle engine_;
};

}  // namespace bridge

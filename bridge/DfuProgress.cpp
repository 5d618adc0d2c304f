#include "bridge/DfuProgress.h"

namespace bridge {

void FillRecord(const DFUEngine::Status& status, DfuStatusRecord& record) {
    record.state = static_cast<int32_t>(status.state);
    record.percent = static_cast<int32_t>(status.percent);
    const DFUEngine::Activity& activity = status.GetActivity();
    record.operation = static_cast<int32_t>(activity.GetOperation());
    record.bytesDone = static_cast<int32_t>(activity.GetBytesDone());
    record.bytesTotal = static_cast<int32_t>(activity.GetBytesTotal());
    record.result = static_cast<int32_t>(activity.GetResult().GetCode());
    record.subOperation = static_cast<int32_t>(activity.GetSubOperation());
}

void DFUProgress::OnActivity(DFUEngine*, const DFUEngine::Status& status) {
    Forward(DFU_NOTIFY_FIRST, status);
}

void DFUProgress::OnProgress(DFUEngine*, const DFUEngine::Status& status) {
    Forward(DFU_NOTIFY_PROGRESS, status);
}

void DFUProgress::OnComplete(DFUEngine*, const DFUEngine::Status& status) {
    Forward(DFU_NOTIFY_COMPLETE, status);
}

void DFUProgress::Forward(int32_t kind, const DFUEngine::Status& status) const {
    if (callback_ == nullptr) {
        return;
    }
    // Built on this thread's stack: the record is valid only during the call.
    DfuStatusRecord record;
    FillRecord(status, record);
    callback_(kind, &record);
}

}  // namespace bridge

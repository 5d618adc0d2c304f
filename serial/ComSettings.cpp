#include "serial/ComSettings.h"

#include "serial/Comport.h"

namespace {

// Stores value and reports whether it differed.
template <typename T>
bool Assign(T* field, T value) {
    if (*field == value) return false;
    *field = value;
    return true;
}

}  // namespace

void TFlowControl::Changed() {
    port_->ApplyDCB();
}
void TFlowControl::SetDTR(TDTRControl value) {
    if (Assign(&dtr_, value)) Changed();
}
void TFlowControl::SetRTS(TRTSControl value) {
    if (Assign(&rts_, value)) Changed();
}
void TFlowControl::SetXOnXOff(TXOnXOffControl value) {
    if (Assign(&xOnXOff_, value)) Changed();
}
void TFlowControl::SetXOnLimit(std::uint16_t value) {
    if (Assign(&xOnLimit_, value)) Changed();
}
void TFlowControl::SetXOffLimit(std::uint16_t value) {
    if (Assign(&xOffLimit_, value)) Changed();
}

void TCharacters::Set(char* field, char value) {
    if (Assign(field, value)) port_->ApplyDCB();
}

void TBufferSizes::SetInput(std::int32_t value) {
    if (Assign(&input_, value)) port_->ApplyBuffer();
}
void TBufferSizes::SetOutput(std::int32_t value) {
    if (Assign(&output_, value)) port_->ApplyBuffer();
}

void TTimeouts::Set(int index, std::uint32_t value) {
    if (Assign(&values_[index], value)) port_->ApplyTimeouts();
}

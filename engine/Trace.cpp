// The process-wide trace sink. A line is handed over under the lock, so that once
// SetTraceSink has returned the old sink is never called again and its context may go.
#include "Trace.h"

#include <cwchar>
#include <mutex>

#include "DFUEngine.h"

namespace dfuengine {
namespace {

struct TraceState {
    std::mutex mutex;
    DFUEngine::TraceSink sink = nullptr;
    void* context = nullptr;
};

TraceState& State() {
    static TraceState state;
    return state;
}

}  // namespace

void Trace(const std::wstring& line) {
    TraceState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.sink != nullptr) state.sink(state.context, line.c_str());
}

std::wstring UsbIdText(unsigned vendor, unsigned product) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04X:%04X", vendor & 0xFFFFu, product & 0xFFFFu);
    return text;
}

}  // namespace dfuengine

void DFUEngine::SetTraceSink(TraceSink sink, void* context) {
    dfuengine::TraceState& state = dfuengine::State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.sink = sink;
    state.context = sink != nullptr ? context : nullptr;
}

// The engine trace behind DFUEngine::SetTraceSink: one line per notable event, to one
// process-wide sink.
#pragma once

#include <string>

namespace dfuengine {

// Hands one line to the sink, if there is one.
void Trace(const std::wstring& line);

// "1209:4B58": USB IDs as the trace and the open problems write them.
std::wstring UsbIdText(unsigned vendor, unsigned product);

}  // namespace dfuengine

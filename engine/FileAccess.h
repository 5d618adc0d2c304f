// Firmware files by wide name: read whole, written piecewise.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "DFUEngine.h"
#include "file/DfuFile.h"

namespace dfuengine {

// Largest file the engine reads: far above any firmware, it keeps a bad name from using up
// memory.
constexpr std::size_t kMaxFileSize = 64u << 20;

std::FILE* OpenFile(const std::wstring& name, bool forWriting);

// Puts the file `from` in the place of `to`, replacing what was there; false when it cannot.
bool ReplaceFileWith(const std::wstring& from, const std::wstring& to);
void RemoveFile(const std::wstring& name);

// Reads and checks a firmware file. On success data holds the whole file and info describes it.
DFUEngine::ResultCode LoadFirmwareFile(const std::wstring& name, std::vector<std::uint8_t>& data,
                                       dfufile::FileInfo& info);

}  // namespace dfuengine

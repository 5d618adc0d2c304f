// The process-wide port tables: the ports shown in the port list, and the ports found by the
// last removal check. Row i of the port list shows entry i of the listed tables.
#pragma once

#include <cstdint>

namespace device {

constexpr int32_t kMaxPorts = 64;
constexpr int32_t kPortEntryWidth = 256;  // 255 characters and a terminating zero

using PortTable = char[kMaxPorts][kPortEntryWidth];

extern PortTable ListedPortNames;
extern PortTable ListedPortDescriptions;
extern int32_t ListedPortCount;

extern PortTable SnapshotPortNames;
extern PortTable SnapshotPortDescriptions;
extern int32_t SnapshotPortCount;

}  // namespace device

#include "device/ports/PortTables.h"

namespace device {

PortTable ListedPortNames = {};
PortTable ListedPortDescriptions = {};
int32_t ListedPortCount = 0;

PortTable SnapshotPortNames = {};
PortTable SnapshotPortDescriptions = {};
int32_t SnapshotPortCount = 0;

}  // namespace device

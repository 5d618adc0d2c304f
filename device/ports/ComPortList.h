// The port list of the main window: refreshing it from the present ports, the snapshot taken
// on device removal, and the preselection of a USB port.
#pragma once

#include <cstdint>
#include <string>

namespace device {

// The list box that shows the listed ports, one row per entry.
class ComPortListSink {
  public:
    virtual ~ComPortListSink() = default;
    virtual void Clear() = 0;  // removes every row; no row stays selected
    virtual void AddRow(const std::string& text) = 0;
    virtual void SetSelected(int32_t row) = 0;
};

// "%s  -  %s" with the name and the description.
std::string FormatPortRow(const char* name, const char* description);

// The port number of a name of the form COMn in any case; 0 when it has none.
int32_t PortNumber(const char* name);

// Enumerates, sorts by port number and stores the result in the listed tables, then refills
// the list box. When no port is found only ListedPortCount changes (to 0): the tables and the
// rows stay as they were.
void RefreshComPortList(ComPortListSink& listBox);

// The same enumeration into the snapshot tables; the list box is not touched.
void SnapshotComPorts();

// Selects the first listed port whose description begins with "USB" (any case); leaves the
// selection alone when there is none.
void SelectUsbPort(ComPortListSink& listBox);

}  // namespace device

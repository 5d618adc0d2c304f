// A fake port back end and a fake port list box for the port discovery tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "device/ports/ComPortList.h"
#include "device/ports/PortBackend.h"
#include "device/ports/PortTables.h"

namespace device {

class FakePortBackend : public PortBackend {
  public:
    std::vector<FoundPort> ports;
    bool fails = false;
    int calls = 0;

    bool ListPorts(std::vector<FoundPort>& out) override {
        ++calls;
        if (fails) return false;
        out.insert(out.end(), ports.begin(), ports.end());
        return true;
    }
};

class FakeListBox : public ComPortListSink {
  public:
    std::vector<std::string> rows;
    int32_t selected = -1;
    int clears = 0;

    void Clear() override {
        ++clears;
        rows.clear();
        selected = -1;
    }
    void AddRow(const std::string& text) override { rows.push_back(text); }
    void SetSelected(int32_t row) override { selected = row; }
};

// Installs the fake back end and empties the process-wide tables around each test.
class PortTablesFixture {
  public:
    PortTablesFixture() {
        ResetTables();
        SetPortBackend(&backend);
    }
    ~PortTablesFixture() {
        SetPortBackend(nullptr);
        ResetTables();
    }

    static void ResetTables() {
        std::memset(ListedPortNames, 0, sizeof ListedPortNames);
        std::memset(ListedPortDescriptions, 0, sizeof ListedPortDescriptions);
        std::memset(SnapshotPortNames, 0, sizeof SnapshotPortNames);
        std::memset(SnapshotPortDescriptions, 0, sizeof SnapshotPortDescriptions);
        ListedPortCount = 0;
        SnapshotPortCount = 0;
    }

    FakePortBackend backend;
};

}  // namespace device

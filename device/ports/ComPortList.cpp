#include "device/ports/ComPortList.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <utility>

#include "device/ports/ComPortEnumeration.h"
#include "device/ports/PortTables.h"

namespace device {
namespace {

std::string UpperCase(const char* text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

void SwapEntries(PortTable& table, int32_t i, int32_t j) {
    char held[kPortEntryWidth];
    std::memcpy(held, table[i], kPortEntryWidth);
    std::memcpy(table[i], table[j], kPortEntryWidth);
    std::memcpy(table[j], held, kPortEntryWidth);
}

// Exchange sort by port number: equal numbers are never swapped with each other.
void SortByPortNumber(PortTable& names, PortTable& descriptions, int32_t count) {
    for (int32_t i = 0; i + 1 < count; ++i) {
        for (int32_t j = i + 1; j < count; ++j) {
            if (PortNumber(names[i]) > PortNumber(names[j])) {
                SwapEntries(names, i, j);
                SwapEntries(descriptions, i, j);
            }
        }
    }
}

// Enumerates into the given tables; returns false, with only count changed, when no port
// was found.
bool Collect(PortTable& names, PortTable& descriptions, int32_t& count) {
    static PortTable foundNames;
    static PortTable foundDescriptions;
    std::memset(foundNames, 0, sizeof foundNames);
    std::memset(foundDescriptions, 0, sizeof foundDescriptions);
    int32_t found = 0;
    EnumerateComPorts(found, &foundNames[0][0], kPortEntryWidth, &foundDescriptions[0][0]);
    count = found;
    if (found == 0) return false;
    std::memcpy(names, foundNames, sizeof names);
    std::memcpy(descriptions, foundDescriptions, sizeof descriptions);
    SortByPortNumber(names, descriptions, found);
    return true;
}

}  // namespace

std::string FormatPortRow(const char* name, const char* description) {
    return std::string(name) + "  -  " + description;
}

int32_t PortNumber(const char* name) {
    const std::string upper = UpperCase(name);
    if (upper.compare(0, 3, "COM") != 0) return 0;
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    int32_t number = 0;
    for (size_t i = 3; i < upper.size() && std::isdigit(static_cast<unsigned char>(upper[i]));
         ++i) {
        const int32_t digit = upper[i] - '0';
        number = number > (kMax - digit) / 10 ? kMax : number * 10 + digit;
    }
    return number;
}

void RefreshComPortList(ComPortListSink& listBox) {
    if (!Collect(ListedPortNames, ListedPortDescriptions, ListedPortCount)) return;
    listBox.Clear();
    for (int32_t j = 0; j < ListedPortCount; ++j) {
        listBox.AddRow(FormatPortRow(ListedPortNames[j], ListedPortDescriptions[j]));
    }
}

void SnapshotComPorts() {
    Collect(SnapshotPortNames, SnapshotPortDescriptions, SnapshotPortCount);
}

void SelectUsbPort(ComPortListSink& listBox) {
    for (int32_t i = 0; i < ListedPortCount; ++i) {
        if (UpperCase(ListedPortDescriptions[i]).compare(0, 3, "USB") == 0) {
            listBox.SetSelected(i);
            return;
        }
    }
}

}  // namespace device

// make_udev_rule OUT: writes the headset's udev rule (UdevRules.h) to OUT.
#include <cstdio>
#include <fstream>

#include "UdevRules.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_udev_rule OUT\n");
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << udevrule::HeadsetUdevRules();
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_udev_rule: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

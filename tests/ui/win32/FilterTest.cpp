#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ui/win32/Win32.h"

namespace {

using namespace std::string_literals;

TEST(OpenDialogFilterTest, PairsBecomeNulSeparatedListWithDoubleNulEnd) {
    struct Case {
        const char* filter;
        std::string expected;
    };
    const Case cases[] = {
        {"firmware file (*.dfu)|*.dfu", "firmware file (*.dfu)\0*.dfu\0\0"s},
        {"DFU|*.dfu|All|*.*", "DFU\0*.dfu\0All\0*.*\0\0"s},
        {"", ""s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ui::OpenDialogFilter(c.filter), c.expected) << c.filter;
    }
}

TEST(OpenDialogFilterTest, IncompleteFiltersAreRejected) {
    for (const char* filter :
         {"firmware file (*.dfu)", "DFU|*.dfu|All", "DFU||All|*.*", "|*.dfu"}) {
        EXPECT_THROW(ui::OpenDialogFilter(filter), std::invalid_argument) << filter;
    }
}

}  // namespace

// The user guide's troubleshooting tables name every result qvdfu can show.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "console/ResultAdvice.h"

namespace service {
namespace {

TEST(UserGuide, NamesEveryResultQvdfuCanShow) {
    std::ifstream in(QV_USER_GUIDE);
    ASSERT_TRUE(in) << QV_USER_GUIDE;
    std::stringstream guide;
    guide << in.rdbuf();
    const std::string text = guide.str();
    for (const Advice& advice : EveryAdvice()) {
        if (std::string(advice.name) == "open_ok") continue;  // never shown: nothing failed
        EXPECT_NE(text.find(std::string("`") + advice.name + "`"), std::string::npos)
            << advice.name << " is missing from the troubleshooting tables";
    }
}

}  // namespace
}  // namespace service

// The whole chain, natively (see UpgradeRig.h): the headset is queried, upgraded with a
// 256 KiB image, and queried again.
#include <gtest/gtest.h>

#include "tests/app/UpgradeRig.h"

namespace {

TEST(UpgradeEndToEndTest, HeadsetIsUpgradedAndShowsItsNewVersion) {
    UpgradeRig rig;
    ASSERT_TRUE(rig.StartSimulator(QV_HEADSET_SIM));
    TMajorForm* form = rig.OpenWindow();
    ASSERT_NE(form->DfuEngine, nullptr);
    ASSERT_TRUE(rig.OpenAndQuery());
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.02");
    EXPECT_STREQ(form->DeviceName, "KX-V5");

    const std::string file = rig.MakeFirmwareFile(QV_DFUFILE, 256 * 1024);
    ASSERT_FALSE(file.empty());
    UpgradeRig::Phases phases;
    ASSERT_EQ(rig.Upgrade(file, &phases), "");
    EXPECT_FALSE(form->DfuDeviceLabel->Caption().empty());
    EXPECT_EQ(form->InfoLabel->Caption(), "Verifying in progress. 100%");
    ASSERT_EQ(rig.Headless().MessageBoxes().size(), 1u);
    EXPECT_EQ(rig.Headless().MessageBoxes()[0].text, "Firmware upgrade completes.");
    EXPECT_EQ(form->FWVerLabel->Caption(), "Firmware version: V1.03");
}

}  // namespace

// A test fixture with the framework running on a fresh headless back end.
#pragma once

#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/headless/Headless.h"

class HeadlessTest : public ::testing::Test {
  protected:
    void SetUp() override { backend = &ui::THeadlessBackend::Install(); }
    void TearDown() override { ui::Application->Finalize(); }

    // A shown form owned by the test (not the application's main form).
    std::unique_ptr<ui::TForm> MakeForm() {
        auto form = std::make_unique<ui::TForm>();
        form->Show();
        return form;
    }

    ui::THeadlessBackend* backend = nullptr;
};

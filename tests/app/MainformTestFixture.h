// A main window on the headless back end, with a stand-in port list and engine, a private
// settings folder, and the text language of the test's choice.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Mainform.h"
#include "device/ports/PortBackend.h"
#include "ui/headless/Headless.h"

class FakePorts : public device::PortBackend {
  public:
    bool ListPorts(std::vector<device::FoundPort>& ports) override {
        ports.insert(ports.end(), present.begin(), present.end());
        return true;
    }
    std::vector<device::FoundPort> present;
};

class MainformTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window (FormCreate runs) in the given language.
    void OpenMainWindow(int language);
    // Rows of the port list box.
    std::vector<std::string> Rows() const;
    const ui::TMessageBoxRecord& LastBox() const;
    // A text file's content, "" when missing.
    static std::string ReadFile(const std::string& path);

    ui::THeadlessBackend* headless = nullptr;
    TMajorForm* form = nullptr;
    FakePorts ports;
    std::string configHome;
};

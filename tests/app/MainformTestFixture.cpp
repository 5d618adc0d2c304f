#include "tests/app/MainformTestFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/Texts.h"
#include "tests/app/FakeBridge.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

void MainformTest::SetUp() {
    fake_bridge::state = fake_bridge::State();
    device::SetPortBackend(&ports);
    FirstShow = true;
#ifndef _WIN32
    char pattern[] = "/tmp/qv-mainform-XXXXXX";
    configHome = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
#endif
    headless = &ui::THeadlessBackend::Install();
}

void MainformTest::TearDown() {
    ui::Application->Finalize();
    device::SetPortBackend(nullptr);
    app::SetTextLanguageOverride(0);
#ifndef _WIN32
    std::string cmd = "rm -rf '" + configHome + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
#endif
}

void MainformTest::OpenMainWindow(int language) {
    app::SetTextLanguageOverride(language);
    ui::Application->CreateForm(MajorForm);
    form = MajorForm;
}

std::vector<std::string> MainformTest::Rows() const {
    return form->ComPortListBox->Items().Lines();
}

const ui::TMessageBoxRecord& MainformTest::LastBox() const {
    EXPECT_FALSE(headless->MessageBoxes().empty());
    return headless->MessageBoxes().back();
}

std::string MainformTest::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

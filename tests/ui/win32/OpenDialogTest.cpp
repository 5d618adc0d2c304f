// The file-open dialog, answered from a helper thread.
#include <stdexcept>
#include <string>

#include "TestForm.h"

namespace qvtest {
namespace {

// Control IDs of the common file dialog (dlgs.h): the file-type list and the name field.
constexpr int kFileTypeCombo = 0x470;
constexpr int kFileNameCombo = 0x47c;

class Win32OpenDialogTest : public Win32Test {
  protected:
    void SetUp() override {
        Win32Test::SetUp();
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        path_ = std::string(dir) + "qv_open_dialog_test.dfu";
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        dialog_ = new ui::TOpenDialog(form_);
        dialog_->SetFilter("firmware file (*.dfu)|*.dfu");
        dialog_->SetTitle("Choose firmware");
        dialog_->SetInitialDir(dir);
        dialog_->SetFileName("previous.dfu");
    }
    void TearDown() override {
        DeleteFileA(path_.c_str());
        Win32Test::TearDown();
    }

    std::string path_;
    ui::TOpenDialog* dialog_ = nullptr;
};

TEST_F(Win32OpenDialogTest, ChosenFileComesBackAndTheFilterIsOffered) {
    std::string fileType;
    TBoxAnswerer box("Choose firmware", IDOK, [&](HWND dlg) {
        char text[256] = "";
        SendDlgItemMessageA(dlg, kFileTypeCombo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
        fileType = text;
        SetDlgItemTextA(dlg, kFileNameCombo, path_.c_str());
    });
    EXPECT_TRUE(dialog_->Execute());
    box.Join();
    ASSERT_TRUE(box.Found);
    EXPECT_EQ(fileType, "firmware file (*.dfu)");
    EXPECT_STRCASEEQ(dialog_->FileName().c_str(), path_.c_str());
}

TEST_F(Win32OpenDialogTest, CancelKeepsTheFileName) {
    TBoxAnswerer box("Choose firmware", IDCANCEL);
    EXPECT_FALSE(dialog_->Execute());
    box.Join();
    ASSERT_TRUE(box.Found);
    EXPECT_EQ(dialog_->FileName(), "previous.dfu");
}

TEST_F(Win32OpenDialogTest, BadFilterIsReportedBeforeAnyDialog) {
    dialog_->SetFilter("firmware file (*.dfu)");
    EXPECT_THROW(dialog_->Execute(), std::invalid_argument);
}

}  // namespace
}  // namespace qvtest

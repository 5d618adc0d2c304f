// The main window's port list: the list box shows the listed port tables.
#include <cstring>

#include "app/Mainform.h"
#include "device/ports/ComPortList.h"

namespace {

// The port list's rows are the rows of the window's list box.
class ListBoxRows : public device::ComPortListSink {
  public:
    explicit ListBoxRows(ui::TListBox* listBox) : listBox_(listBox) {}
    void Clear() override { listBox_->Items().Clear(); }
    void AddRow(const std::string& text) override { listBox_->Items().Add(text); }
    void SetSelected(int32_t row) override { listBox_->SetItemIndex(row); }

  private:
    ui::TListBox* listBox_;
};

}  // namespace

void TMajorForm::RefreshComPortList() {
    ListBoxRows rows(ComPortListBox);
    device::RefreshComPortList(rows);
}

void TMajorForm::SelectUsbPort() {
    ListBoxRows rows(ComPortListBox);
    device::SelectUsbPort(rows);
}

bool TMajorForm::IsOpenedPort(const char* name, const char* description) const {
    if (ComPortName[0] != '\0') return std::strcmp(description, ComPortName) == 0;
    return OpenedPortName[0] != '\0' && std::strcmp(name, OpenedPortName) == 0;
}

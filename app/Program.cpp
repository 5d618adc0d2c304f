// Program entry of QVDFUUpgrade: the framework, the main window, the message loop.
#include <windows.h>

#include <exception>

#include "app/Mainform.h"
#include "ui/Backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        ui::Application->Initialize(ui::CreateWin32Backend());
        ui::Application->CreateForm(MajorForm);
        ui::Application->Run();
    } catch (const std::exception& e) {
        ui::Application->ShowException(e);
    } catch (...) {
        ui::Application->ShowException(std::exception_ptr(std::current_exception()));
    }
    return 0;
}

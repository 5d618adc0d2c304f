// Program entry of QVDFUUpgrade: the framework, the main window, the message loop.
#include <windows.h>

#include <exception>

#include "app/Mainform.h"
#include "ui/Backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int exitCode = 0;
    try {
        ui::Application->Initialize(ui::CreateWin32Backend());
        ui::Application->CreateForm(MajorForm);
        ui::Application->Run();
    } catch (const std::exception& e) {
        ui::Application->ShowException(e);
        exitCode = 1;
    } catch (...) {
        ui::Application->ShowException(std::exception_ptr(std::current_exception()));
        exitCode = 1;
    }
    // Windows, fonts and the engine handle go now, while everything they use still exists,
    // not from static destructors in an unknown order.
    ui::Application->Finalize();
    return exitCode;
}

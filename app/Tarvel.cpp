// Tarvel.exe: the start-up. The application is titled "Tarvel"; the main
// window TarvelF is created first and shown, then the instructions window
// AboutBox, hidden; the message loop runs until the main window is closed.
#include <windows.h>

#include "acadlink/acad_cad_link.h"
#include "app/About.h"
#include "app/TarvelU.h"
#include "dimension/run.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace tarvel::app;
    Application application(instance);
    application.SetTitle(L"Tarvel");
    tarvel::AcadCadLink link;
    try {
        TTarvelF main(application, link, &tarvel::RunDimension);
        main.Create();
        TarvelF = &main;
        // The instructions window, hidden, is made once the main window is
        // on the screen: its first paint needs nothing of it. Its picture
        // is decoded when it is first shown.
        TAboutBox about(application, main.Handle(), instance);
        application.Run([&] {
            about.Create();
            AboutBox = &about;
        });
        AboutBox = nullptr;
        TarvelF = nullptr;
    } catch (...) {
        // A window that cannot be made (no memory) is reported like any
        // other error, and the program ends.
        AboutBox = nullptr;
        TarvelF = nullptr;
        application.HandleException();
        return 1;
    }
    return 0;
}

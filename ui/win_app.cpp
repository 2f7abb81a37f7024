#include "ui/win_app.h"

#include <windows.h>

#include <commctrl.h>

#include "ui/callback_guard.h"

namespace {
CWinApp* g_application = nullptr;
} // namespace

CWinApp::CWinApp() {
    g_application = this;
}

CWinApp::~CWinApp() {
    if (g_application == this) {
        g_application = nullptr;
    }
}

CWinApp* CWinApp::Current() {
    return g_application;
}

int RunApplication() {
    // The manifest binds version 6 of the common controls; register their classes.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    CWinApp* application = CWinApp::Current();
    if (application == nullptr) {
        return 1;
    }
    // An exception that reaches this far ends the program with a failure, not an abort.
    return CallOrFallBack(
        [application] {
            application->InitInstance();
            return 0;
        },
        [] { return 1; });
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunApplication();
}

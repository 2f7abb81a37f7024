#include "app/main_app.h"

#include "app/main_dialog.h"
#include "app/program_transport.h"
#include "app/system_settings.h"
#include "device/clock.h"

// The one application object, built before the entry point runs.
CMainApp g_theApp;

bool CMainApp::InitInstance() {
    EnableControlContainer();
    Enable3dControls();
    InitialiseSettingsPath();

    const std::unique_ptr<IScsiTransport> transport = CreateProgramTransport();
    const std::unique_ptr<ISettingsStore> settings = CreateSystemSettingsStore();
    const std::unique_ptr<ILocale> locale = CreateSystemLocale();
    SystemClock clock;
    {
        CMainDialog dialog(*transport, clock, *settings, *locale, nullptr);
        dialog.DoModal();
    }
    return false;
}

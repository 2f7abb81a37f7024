// CMainApp: the application object. Its start-up builds the settings path, runs the main
// window modally and returns false, so the process ends when the window closes.
#pragma once

#include "ui/win_app.h"

class CMainApp final : public CWinApp {
  public:
    bool InitInstance() override;
};

// CWinApp: the application object. Exactly one exists, as a global built before the
// entry point runs; the entry point calls its InitInstance and ends the process when that
// returns false (the program's one window is modal and has closed by then).
#pragma once

class CWinApp {
  public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // The start-up hook; true would ask for a message loop, which this layer has not.
    virtual bool InitInstance() = 0;

    // The application object, or null.
    static CWinApp* Current();

    // Switches kept for the start-up order: the system draws 3-D controls itself and the
    // program embeds no ActiveX controls, so they only record that they were asked for.
    void EnableControlContainer() { m_controlContainer = true; }
    void Enable3dControls() { m_threeDimensionalControls = true; }

  private:
    bool m_controlContainer = false;
    bool m_threeDimensionalControls = false;
};

// Runs the application object's start-up; the return value of the process.
int RunApplication();

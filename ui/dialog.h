// CDialog: a modal dialog built from a dialog template of the program's resources. The
// dialog window is bound to the object when it receives WM_INITDIALOG; from then on its
// messages go through the handler tables and what they leave to the default goes to the
// system's dialog procedure.
#pragma once

#include "ui/window.h"

class CDialog : public CWnd {
  public:
    CDialog(int templateId, CWnd* parent);

    // Creates the dialog, runs its modal loop and returns the result given to EndDialog
    // (-1 when the dialog could not be created).
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    // Exchanges the controls' data with the program's variables: towards the window when
    // `save` is false, from the window when true.
    void UpdateData(bool save) { DoDataExchange(save); }

  protected:
    // Runs after the template's initial control data has been applied; the base loads
    // the data exchange and returns TRUE (the system then sets the focus).
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(bool /*save*/) {}
    // The cancel command (close box, Esc): ends the dialog with IDCANCEL.
    virtual void OnCancel();

    const MessageMap* GetMessageMap() const override;
    static const MessageMap& Map();

  private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);
    // Adds the items of the template's initial data (resource type 240) to its controls.
    void ApplyInitialControlData();
    void OnCancelCommand() { OnCancel(); }

    int m_templateId;
    CWnd* m_parent;
};

// CComboBox: a combo box control bound to its dialog item.
#pragma once

#include "ui/window.h"

class CComboBox : public CWnd {
  public:
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int AddString(const wchar_t* text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    // CB_ERR (-1) when nothing is selected.
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    // An index outside the items selects nothing.
    void SetCurSel(int index) { SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)); }
};

// CBackgroundDialog: a dialog that covers its client area with a picture whenever the
// system asks it to erase its background. The picture is the file "KV_Tessalok.BMP" in
// the current directory when that file exists, else a bitmap resource the derived dialog
// names.
#pragma once

#include "ui/background_layout.h"
#include "ui/dialog.h"
#include "ui/gdi_handle.h"

class CBackgroundDialog : public CDialog {
  public:
    CBackgroundDialog(int templateId, CWnd* parent);
    ~CBackgroundDialog() override = default;

    // Stores Tile, Center or Stretch; any other value is ignored. No repaint.
    void SetBackgroundMode(int mode);
    // Loads the picture from the file, or when it cannot be opened from bitmap resource
    // `resourceId` (low 16 bits). Called once; a second call replaces the picture.
    void LoadBackground(unsigned resourceId);

    // The picture held now (null: none), for the tests.
    HBITMAP GetBackgroundBitmap() const { return m_picture.Get(); }
    int GetBackgroundMode() const { return m_mode; }

  protected:
    const MessageMap* GetMessageMap() const override;
    static const MessageMap& Map();

    BOOL OnEraseBackground(HDC dc);

  private:
    CBitmap m_picture;
    int m_mode = Tile;
};

// CMainDialog: the program's one window. It shows the connected drive's letter, the
// status line with the fingerprint counts, the four command buttons and the language
// box; it implements the window seam with those controls and runs the fingerprint
// operations on them.
#pragma once

#include "app/settings_store.h"
#include "device/clock.h"
#include "device/scsi_transport.h"
#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/fingerprint_window.h"
#include "ui/background_dialog.h"
#include "ui/color_static.h"
#include "ui/combo_box.h"
#include "ui/gdi_handle.h"

// Dialog template and control ids.
namespace main_dialog_ids {
inline constexpr int kTemplate = 102;
inline constexpr int kIcon = 128;
inline constexpr int kBackgroundBitmap = 171;
inline constexpr int kEraseAll = 1201;
inline constexpr int kViewStatus = 1202;
inline constexpr int kInstall = 1203;
inline constexpr int kStatusLine = 1204;
inline constexpr int kDriveLabel = 1205;
inline constexpr int kVersion = 1206;
inline constexpr int kLanguageBox = 1706;
} // namespace main_dialog_ids

class CMainDialog final : public CBackgroundDialog, public IFingerprintWindow {
  public:
    CMainDialog(IScsiTransport& transport, IClock& clock, ISettingsStore& settings,
                const ILocale& locale, CWnd* parent);
    ~CMainDialog() override = default;

    CFingerprintOperations& Operations() { return m_operations; }

    // The window seam.
    void SetStatusText(std::u16string_view text) override;
    std::u16string GetStatusText(std::size_t bufferUnits) const override;
    void SetStatusForeColor(Colour colour, bool redraw) override;
    void SetStatusBackColor(Colour colour, bool redraw) override;
    Colour GetStatusForeColor() const override;
    Colour GetStatusBackColor() const override;
    void HideStatusAndDriveLabel() override;
    void DisableCommands() override;
    void RefreshTexts() override;
    void PumpMessages() override;
    void ShowResultBox(std::u16string_view text) override;
    bool AskYesNo(std::u16string_view text, std::u16string_view caption) override;

  protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnCancel() override;
    const MessageMap* GetMessageMap() const override;

  private:
    static const MessageMap& Map();

    void OnPaint();
    void OnDestroy();
    BOOL OnDeviceChange(UINT event, DWORD_PTR data);
    void OnEraseAll() { m_operations.EraseAllFingerprints(); }
    void OnViewStatus() { m_operations.ViewStatus(); }
    void OnInstall() { m_operations.InstallNewFingerprint(); }
    void OnShowModel() { m_operations.ShowModel(); }
    void OnLanguageChange();

    void ShowItem(int id, bool show);
    void EnableItem(int id, bool enable);

    ISettingsStore& m_settings;
    const ILocale& m_locale;
    IScsiTransport& m_transport;

    CFont m_driveFont;
    CFingerprintOperations m_operations; // holds m_device, m_installedCount, m_freeCount
    CComboBox m_languageCombo;
    CXColorStatic m_statusText;
    HICON m_hIcon;
};

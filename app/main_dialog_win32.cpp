#include "app/main_dialog.h"

#include <dbt.h>

#include <string>
#include <vector>

#include "app/start_settings.h"
#include "i18n/message_table.h"

namespace {

using namespace main_dialog_ids;

constexpr wchar_t kTitleFormat[] = L"KV_Tessalok Ver %s  ( %d x %d )";
constexpr wchar_t kProgramVersion[] = L"1.006";
constexpr COLORREF kStatusBackground = 0xA0FFFF; // pale yellow
constexpr COLORREF kStatusText = 0x000000;
constexpr int kMessageButtonCaptions[] = {kViewStatus, kInstall, kEraseAll, kVersion};

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

const wchar_t* WideText(const char16_t* text) {
    return text != nullptr ? reinterpret_cast<const wchar_t*>(text) : L"";
}

// The program file's name without directory and extension: the result boxes' caption.
std::wstring ProgramName() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    if (const std::size_t dot = name.find_last_of(L'.'); dot != std::wstring::npos) {
        name.erase(dot);
    }
    return name;
}

} // namespace

CMainDialog::CMainDialog(IScsiTransport& transport, IClock& clock, ISettingsStore& settings,
                         const ILocale& locale, CWnd* parent)
    : CBackgroundDialog(kTemplate, parent), m_settings(settings), m_locale(locale),
      m_transport(transport), m_operations(*this, transport, clock),
      m_hIcon(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIcon))) {}

const MessageMap& CMainDialog::Map() {
    static constexpr MessageEntry entries[] = {
        ::OnPaint<&CMainDialog::OnPaint>(),
        ::OnDestroy<&CMainDialog::OnDestroy>(),
        ::OnDeviceChange<&CMainDialog::OnDeviceChange>(),
        OnCommand<kEraseAll, BN_CLICKED, &CMainDialog::OnEraseAll>(),
        OnCommand<kViewStatus, BN_CLICKED, &CMainDialog::OnViewStatus>(),
        OnCommand<kInstall, BN_CLICKED, &CMainDialog::OnInstall>(),
        OnCommand<kLanguageBox, CBN_SELCHANGE, &CMainDialog::OnLanguageChange>(),
        OnCommand<kVersion, BN_CLICKED, &CMainDialog::OnShowModel>(),
    };
    static const MessageMap map{&CBackgroundDialog::Map(), entries};
    return map;
}

const MessageMap* CMainDialog::GetMessageMap() const {
    return &Map();
}

void CMainDialog::DoDataExchange(bool save) {
    if (!m_languageCombo.IsBound()) {
        m_languageCombo.SubclassDlgItem(kLanguageBox, *this);
    }
    if (!m_statusText.IsBound()) {
        m_statusText.SubclassDlgItem(kStatusLine, *this);
    }
    if (!save) {
        // An index outside the items selects nothing (the system leaves some selections
        // in place for such an index, so say so explicitly).
        const bool inRange = g_language >= 0 && g_language < m_languageCombo.GetCount();
        m_languageCombo.SetCurSel(inRange ? g_language : -1);
        return;
    }
    // A box without a selection keeps the current language: a text refresh that runs
    // nested inside another one's pumping sees the box between refill and re-selection.
    if (const int selected = m_languageCombo.GetCurSel(); selected != CB_ERR) {
        g_language = selected;
    }
}

BOOL CMainDialog::OnInitDialog() {
    CBackgroundDialog::OnInitDialog();
    g_busy = 0;
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    const RECT client = GetClientRect();
    wchar_t title[128];
    ::wsprintfW(title, kTitleFormat, kProgramVersion, static_cast<int>(client.right - client.left),
                static_cast<int>(client.bottom - client.top));
    SetWindowText(title);

    ChooseStartLanguage(m_locale, m_settings);
    UpdateData(false);

    const HWND driveLabel = GetDlgItem(kDriveLabel);
    RECT labelClient{};
    ::GetClientRect(driveLabel, &labelClient);
    const int labelHeight = labelClient.bottom - labelClient.top;
    m_driveFont.Reset(::CreateFontW((2 * labelHeight) / 3, 0, 0, 0, 800, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Arial"));
    ::SendMessageW(driveLabel, WM_SETFONT, reinterpret_cast<WPARAM>(m_driveFont.Get()), TRUE);
    ::SetWindowTextW(driveLabel, L"");

    m_statusText.ShowWindow(SW_HIDE);
    m_statusText.SetWindowText(L"");
    m_statusText.SetTextOffset(0, 0);
    m_statusText.SetFaceAndSize(L"Estrangelo Edessa", 16, true);
    m_statusText.SetBoldWeight(true, true);
    m_statusText.SetBackColor(kStatusBackground, false);
    m_statusText.SetForeColor(kStatusText, true);

    ShowItem(kDriveLabel, false);
    EnableItem(kEraseAll, false);

    SetBackgroundMode(Tile);
    LoadBackground(kBackgroundBitmap);

    RefreshTexts();
    m_operations.FindFingerprintDrive(m_transport.PresentDriveMask());
    UpdateData(false);
    return TRUE;
}

void CMainDialog::RefreshTexts() {
    UpdateData(true);

    m_languageCombo.ResetContent();
    for (int index = 0; index < kLanguageCount; ++index) {
        m_languageCombo.AddString(WideText(GetText(kLanguageNameBase + index)));
    }
    for (int message = 0; message < 4; ++message) {
        ::SetDlgItemTextW(m_hwnd, kMessageButtonCaptions[message], WideText(GetText(message)));
    }

    SetStatusText(m_operations.ComposeStatusLine());
    m_statusText.SetForeColor(kStatusText, false);
    m_statusText.SetBackColor(kStatusBackground, true);

    PumpMessages();

    const CommandStates states = m_operations.DescribeCommandStates();
    if (!states.driveKnown) {
        HideStatusAndDriveLabel();
        DisableCommands();
    } else {
        const HWND driveLabel = GetDlgItem(kDriveLabel);
        ::SendMessageW(driveLabel, WM_SETFONT, reinterpret_cast<WPARAM>(m_driveFont.Get()), TRUE);
        const wchar_t letter[] = {static_cast<wchar_t>(m_operations.m_device.m_driveLetter), L':',
                                  L'\0'};
        ::SetWindowTextW(driveLabel, letter);
        ShowItem(kDriveLabel, true);
        m_statusText.ShowWindow(SW_SHOW);
        EnableItem(kViewStatus, states.viewStatusEnabled);
        EnableItem(kInstall, states.installEnabled);
        EnableItem(kEraseAll, states.eraseEnabled);
        ShowItem(kVersion, true);
    }

    UpdateData(false);
}

void CMainDialog::PumpMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void CMainDialog::DisableCommands() {
    EnableItem(kViewStatus, false);
    EnableItem(kInstall, false);
    EnableItem(kEraseAll, false);
    ShowItem(kVersion, false);
}

void CMainDialog::HideStatusAndDriveLabel() {
    ShowItem(kDriveLabel, false);
    m_statusText.ShowWindow(SW_HIDE);
}

void CMainDialog::SetStatusText(std::u16string_view text) {
    m_statusText.SetWindowText(Wide(text).c_str());
}

std::u16string CMainDialog::GetStatusText(std::size_t bufferUnits) const {
    if (bufferUnits == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(bufferUnits, L'\0');
    const int copied =
        ::GetWindowTextW(m_statusText.GetSafeHwnd(), buffer.data(), static_cast<int>(bufferUnits));
    return std::u16string(buffer.begin(), buffer.begin() + (copied > 0 ? copied : 0));
}

void CMainDialog::SetStatusForeColor(Colour colour, bool redraw) {
    m_statusText.SetForeColor(colour, redraw);
}

void CMainDialog::SetStatusBackColor(Colour colour, bool redraw) {
    m_statusText.SetBackColor(colour, redraw);
}

Colour CMainDialog::GetStatusForeColor() const {
    return m_statusText.GetForeColor();
}

Colour CMainDialog::GetStatusBackColor() const {
    return m_statusText.GetBackColor();
}

void CMainDialog::ShowResultBox(std::u16string_view text) {
    ::MessageBoxW(m_hwnd, Wide(text).c_str(), ProgramName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

bool CMainDialog::AskYesNo(std::u16string_view text, std::u16string_view caption) {
    return ::MessageBoxW(m_hwnd, Wide(text).c_str(), Wide(caption).c_str(),
                         MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON1) == IDYES;
}

void CMainDialog::OnLanguageChange() {
    UpdateData(true);
    const std::string value = std::to_string(g_language);
    m_settings.WriteString(kSettingsSection, kLanguageKey,
                           std::u16string(value.begin(), value.end()), g_settingsPath);
    RefreshTexts();
}

void CMainDialog::OnCancel() {
    g_busy = 0;
    CBackgroundDialog::OnCancel();
}

void CMainDialog::OnDestroy() {
    g_busy = 0;
    Default();
}

BOOL CMainDialog::OnDeviceChange(UINT event, DWORD_PTR data) {
    const auto result = static_cast<BOOL>(Default());
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || data == 0) {
        return result;
    }
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header->dbch_devicetype != DBT_DEVTYP_VOLUME) {
        return result;
    }
    if (event == DBT_DEVICEARRIVAL) {
        m_operations.OnVolumeArrival();
    } else {
        m_operations.OnVolumeRemoval(
            reinterpret_cast<const DEV_BROADCAST_VOLUME*>(header)->dbcv_unitmask);
    }
    return result;
}

void CMainDialog::OnPaint() {
    if (!::IsIconic(m_hwnd)) {
        Default();
        return;
    }
    const PaintContext paint(m_hwnd);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Get()));
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    const RECT client = GetClientRect();
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(paint.Get(), x, y, m_hIcon);
}

void CMainDialog::ShowItem(int id, bool show) {
    ::ShowWindow(GetDlgItem(id), show ? SW_SHOW : SW_HIDE);
}

void CMainDialog::EnableItem(int id, bool enable) {
    ::EnableWindow(GetDlgItem(id), enable ? TRUE : FALSE);
}

#include "ui/dialog.h"

#include <cstdint>
#include <string>

#include "ui/callback_guard.h"
#include "ui/dialog_init_data.h"

CDialog::CDialog(int templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

INT_PTR CDialog::DoModal() {
    const HWND parent = m_parent != nullptr ? m_parent->GetSafeHwnd() : nullptr;
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent,
                             &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR result) {
    ::EndDialog(m_hwnd, result);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

const MessageMap& CDialog::Map() {
    static constexpr MessageEntry entries[] = {
        OnCommand<IDCANCEL, BN_CLICKED, &CDialog::OnCancelCommand>(),
    };
    static const MessageMap map{&CWnd::Map(), entries};
    return map;
}

const MessageMap* CDialog::GetMessageMap() const {
    return &Map();
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    // Everything but the initialisation reaches the object through its window procedure;
    // here FALSE lets the system's dialog procedure do its default.
    if (message != WM_INITDIALOG) {
        return FALSE;
    }
    auto* self = reinterpret_cast<CDialog*>(lParam);
    // An initialisation that throws leaves the dialog running with what it has done so
    // far: FALSE, the system's default for an unhandled message (it sets no focus).
    return CallOrFallBack(
        [&]() -> INT_PTR {
            self->SubclassWindow(window);
            self->ApplyInitialControlData();
            return self->OnInitDialog();
        },
        []() -> INT_PTR { return FALSE; });
}

void CDialog::ApplyInitialControlData() {
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(m_templateId),
                                        MAKEINTRESOURCEW(kDialogInitResourceType));
    if (found == nullptr) {
        return;
    }
    const HGLOBAL loaded = ::LoadResource(module, found);
    const auto* data = static_cast<const std::uint8_t*>(::LockResource(loaded));
    if (data == nullptr) {
        return;
    }
    const std::size_t size = ::SizeofResource(module, found);
    for (const DialogInitItem& item : ParseDialogInitData(data, size)) {
        std::wstring text(item.text.size() + 1, L'\0');
        const int units =
            ::MultiByteToWideChar(CP_ACP, 0, item.text.data(), static_cast<int>(item.text.size()),
                                  text.data(), static_cast<int>(text.size()));
        text.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
        ::SendDlgItemMessageW(m_hwnd, item.controlId, item.message, 0,
                              reinterpret_cast<LPARAM>(text.c_str()));
    }
}

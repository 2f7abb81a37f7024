#include "ui/background_dialog.h"

#include <cstdio>

namespace {

constexpr char kPictureFile[] = "KV_Tessalok.BMP";
constexpr wchar_t kPictureFileWide[] = L"KV_Tessalok.BMP";

} // namespace

CBackgroundDialog::CBackgroundDialog(int templateId, CWnd* parent) : CDialog(templateId, parent) {}

void CBackgroundDialog::SetBackgroundMode(int mode) {
    if (IsBackgroundMode(mode)) {
        m_mode = mode;
    }
}

void CBackgroundDialog::LoadBackground(unsigned resourceId) {
    // The open only tests whether the file is there; the resource is used only without it.
    std::FILE* file = std::fopen(kPictureFile, "rb");
    if (file == nullptr) {
        m_picture.Reset(
            ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId & 0xFFFF)));
        return;
    }
    std::fclose(file);
    m_picture.Reset(static_cast<HBITMAP>(
        ::LoadImageW(nullptr, kPictureFileWide, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
}

const MessageMap& CBackgroundDialog::Map() {
    static constexpr MessageEntry entries[] = {
        ::OnEraseBackground<&CBackgroundDialog::OnEraseBackground>(),
    };
    static const MessageMap map{&CDialog::Map(), entries};
    return map;
}

const MessageMap* CBackgroundDialog::GetMessageMap() const {
    return &Map();
}

BOOL CBackgroundDialog::OnEraseBackground(HDC dc) {
    Default(); // the dialog's own background colour first
    if (!m_picture) {
        return TRUE;
    }
    const RECT client = GetClientRect();
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;

    const OwnedDc memory(::CreateCompatibleDC(dc));
    if (!memory) {
        return TRUE;
    }
    const ScopedSelection selection(memory.Get(), m_picture.Get());
    BITMAP size{};
    if (::GetObjectW(m_picture.Get(), sizeof(size), &size) != sizeof(size)) {
        return TRUE; // an unreadable size draws nothing
    }
    switch (m_mode) {
    case Tile:
        for (const BlitOrigin& origin :
             TileOrigins(size.bmWidth, size.bmHeight, clientWidth, clientHeight)) {
            ::BitBlt(dc, origin.x, origin.y, clientWidth, clientHeight, memory.Get(), 0, 0,
                     SRCCOPY);
        }
        break;
    case Center: {
        const BlitOrigin origin =
            CenterOrigin(size.bmWidth, size.bmHeight, clientWidth, clientHeight);
        ::BitBlt(dc, origin.x, origin.y, clientWidth, clientHeight, memory.Get(), 0, 0, SRCCOPY);
        break;
    }
    case Stretch:
        ::StretchBlt(dc, 0, 0, clientWidth, clientHeight, memory.Get(), 0, 0, size.bmWidth,
                     size.bmHeight, SRCCOPY);
        break;
    default:
        break;
    }
    return TRUE;
}

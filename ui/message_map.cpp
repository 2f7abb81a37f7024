#include "ui/message_map.h"

const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam) {
    for (; map != nullptr; map = map->base) {
        for (const MessageEntry& entry : map->entries) {
            if (entry.message != message) {
                continue;
            }
            if (message == WM_COMMAND &&
                (entry.controlId != LOWORD(wParam) || entry.notifyCode != HIWORD(wParam))) {
                continue;
            }
            return &entry;
        }
    }
    return nullptr;
}

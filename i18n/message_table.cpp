// GetText: message numbers to entries of the built-in string files.
#include "i18n/message_table.h"

#include "app/start_settings.h"
#include "i18n/built_in_strings.h"

namespace {

const char16_t* EntryOf(const StringFileData& file, int entry) {
    return ParseStringFile(FileBytes(file), file.lengthBytes, entry);
}

} // namespace

const char16_t* GetText(int number) {
    if (number >= kLanguageNameBase) {
        return EntryOf(kLanguageNameFile, number - kLanguageNameBase);
    }
    const bool known = g_language >= 0 && g_language < kLanguageCount;
    return EntryOf(kStringFiles[known ? g_language : 0], number);
}

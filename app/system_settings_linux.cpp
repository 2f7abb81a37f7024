#include <unistd.h>

#include <vector>

#include "app/ini_settings_store.h"
#include "app/posix_locale.h"
#include "app/start_settings.h"
#include "app/system_settings.h"
#include "app/utf_convert.h"

namespace {

class PosixLocale final : public ILocale {
public:
    std::u16string AbbreviatedLanguageName() const override {
        return AbbreviationForPosixLocale(MessagesLocaleFromEnvironment());
    }
};

}  // namespace

std::unique_ptr<ISettingsStore> CreateSystemSettingsStore() {
    return std::make_unique<IniSettingsStore>();
}

std::unique_ptr<ILocale> CreateSystemLocale() { return std::make_unique<PosixLocale>(); }

void InitialiseSettingsPath() {
    std::vector<char> buffer(4096);
    std::u16string directory;
    if (getcwd(buffer.data(), buffer.size()) != nullptr) {
        directory = ToUtf16(buffer.data());
    }
    // Paths longer than the Windows buffer take the same safe way as there.
    BuildSettingsPath(directory, directory.size(), u'/');
}

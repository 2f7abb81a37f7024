#include "fingerprint/fingerprint_operations.h"
#include "fingerprint/message_numbers.h"
#include "fingerprint/text_format.h"

std::u16string CFingerprintOperations::ComposeStatusLine() const {
    if (m_installedCount == 0) {
        return FormatText(u"%s", {GetText(message_number::kNothingInstalled)});
    }
    return FormatText(u"%s:%d, %s:%d", {GetText(message_number::kInstalledLabel), m_installedCount,
                                        GetText(message_number::kFreeLabel), m_freeCount});
}

CommandBlock CFingerprintOperations::InstallBlock() const {
    if (m_device.m_driveLetter == 0)
        return CommandBlock::NoDrive;
    if (m_installedCount + m_freeCount == 0)
        return CommandBlock::NoSlotEntry;
    return m_freeCount > 0 ? CommandBlock::None : CommandBlock::DriveFull;
}

CommandBlock CFingerprintOperations::EraseBlock() const {
    if (m_device.m_driveLetter == 0)
        return CommandBlock::NoDrive;
    return m_installedCount > 0 ? CommandBlock::None : CommandBlock::NothingInstalled;
}

CommandStates CFingerprintOperations::DescribeCommandStates() const {
    CommandStates states;
    states.driveKnown = m_device.m_driveLetter != 0;
    states.viewStatusEnabled = states.driveKnown;
    states.installEnabled = InstallBlock() == CommandBlock::None;
    states.eraseEnabled = EraseBlock() == CommandBlock::None;
    return states;
}

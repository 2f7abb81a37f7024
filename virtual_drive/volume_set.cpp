#include "virtual_drive/volume_set.h"

#include <algorithm>
#include <chrono>

#include "virtual_drive/state_file.h"

namespace vdrive {

IScsiTarget& Volume::Target() {
    if (drive) {
        return *drive;
    }
    return *stick;
}

void VolumeSet::Emit(const std::string& text) const {
    if (m_log) {
        m_log(text);
    }
}

FingerprintDriveModel& VolumeSet::AddDrive(char letter, DriveOptions options,
                                           const std::filesystem::path& stateFile) {
    Volume volume;
    volume.letter = letter;
    volume.drive = std::make_unique<FingerprintDriveModel>(std::move(options));
    volume.stateFile = stateFile;
    FingerprintDriveModel& drive = *volume.drive;
    if (!stateFile.empty()) {
        // A save cut short by a kill leaves its temporary file behind; another server's
        // save takes milliseconds, so one older than a minute is nobody's.
        if (const int removed = RemoveStaleTemporaries(stateFile, std::chrono::minutes(1))) {
            Emit(std::string(1, letter) + ": removed " + std::to_string(removed) +
                 " temporary file(s) a stopped save of " + stateFile.string() + " left");
        }
        const LoadedState state = LoadStateFile(stateFile);
        Emit(std::string(1, letter) + ": " + state.message);
        drive.SetSlots(state.slots);
        drive.SetSlotsChanged([this, &drive, stateFile, letter] {
            std::string error;
            Volume& saved = *Find(letter);
            if (SaveStateFile(stateFile, drive.Slots(), error)) {
                saved.lastSaveError.clear();
                return;
            }
            ++saved.failedSaves;
            saved.lastSaveError = error;
            Emit(std::string(1, letter) + ": slot table not saved: " + error);
        });
    }
    Insert(std::move(volume));
    return drive;
}

void VolumeSet::AddStick(char letter, StickOptions options) {
    Volume volume;
    volume.letter = letter;
    volume.stick = std::make_unique<UsbStickModel>(std::move(options));
    Insert(std::move(volume));
}

void VolumeSet::Insert(Volume volume) {
    m_volumes.push_back(std::move(volume));
    std::sort(m_volumes.begin(), m_volumes.end(),
              [](const Volume& a, const Volume& b) { return a.letter < b.letter; });
}

Volume* VolumeSet::Find(char letter) {
    const auto found = std::find_if(m_volumes.begin(), m_volumes.end(),
                                    [letter](const Volume& v) { return v.letter == letter; });
    return found == m_volumes.end() ? nullptr : &*found;
}

Volume* VolumeSet::FirstDrive() {
    const auto found = std::find_if(m_volumes.begin(), m_volumes.end(),
                                    [](const Volume& v) { return v.drive != nullptr; });
    return found == m_volumes.end() ? nullptr : &*found;
}

std::uint32_t VolumeSet::PresentMask() const {
    std::uint32_t mask = 0;
    for (const Volume& volume : m_volumes) {
        if (volume.Present()) {
            mask |= 1u << (volume.letter - 'A');
        }
    }
    return mask;
}

} // namespace vdrive

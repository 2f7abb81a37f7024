// The volumes one server offers: fingerprint drives and ordinary USB sticks at drive
// letters. A drive with a state file saves its slot table after every change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "virtual_drive/command_log.h"
#include "virtual_drive/drive_model.h"

namespace vdrive {

struct Volume {
    char letter = 0;
    std::unique_ptr<FingerprintDriveModel> drive; // one of the two is set
    std::unique_ptr<UsbStickModel> stick;
    std::filesystem::path stateFile; // empty: the slots live in memory only
    // Saves of the slot table that failed, and the reason (the system's included) while
    // the last save failed; empty once a save succeeds.
    std::size_t failedSaves = 0;
    std::string lastSaveError;

    IScsiTarget& Target();
    // A pulled drive has no volume; a stick is always there.
    bool Present() const { return !drive || drive->Plugged(); }
};

class VolumeSet {
  public:
    using Log = std::function<void(const std::string&)>;
    explicit VolumeSet(Log log = {}) : m_log(std::move(log)) {}

    // Adds a fingerprint drive; with a state file, its slots come from there (a missing or
    // corrupt file gives an empty drive and a log line) and are saved after each change; a
    // failed save is logged with its reason and counted in the volume.
    FingerprintDriveModel& AddDrive(char letter, DriveOptions options,
                                    const std::filesystem::path& stateFile = {});
    void AddStick(char letter, StickOptions options);

    Volume* Find(char letter);
    // The first fingerprint drive by letter, or none.
    Volume* FirstDrive();
    std::uint32_t PresentMask() const;
    const std::vector<Volume>& Volumes() const { return m_volumes; }
    // Held around every call into a model, by every front door, so that both serve the
    // same drive alike.
    std::mutex& ModelMutex() { return m_modelMutex; }
    // Every SCSI command any door brings to these volumes.
    CommandLog& Commands() { return m_commands; }

  private:
    void Emit(const std::string& text) const;
    void Insert(Volume volume);

    Log m_log;
    std::vector<Volume> m_volumes; // in ascending letter order
    std::mutex m_modelMutex;
    CommandLog m_commands;
};

} // namespace vdrive

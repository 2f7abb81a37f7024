#include "virtual_drive/disk/volume_disks.h"

#include "virtual_drive/disk/disk_image.h"
#include "virtual_drive/disk/recorded_unit.h"
#include "virtual_drive/disk/volume_disk.h"
#include "virtual_drive/volume_set.h"

namespace vdrive {

bool VolumeDisks::Build(VolumeSet& volumes, const std::map<char, std::filesystem::path>& images,
                        std::string& error) {
    for (const auto& [letter, path] : images) {
        if (volumes.Find(letter) == nullptr) {
            error = std::string("--disk-image ") + letter + ": no volume at " + letter;
            return false;
        }
    }
    m_volumes = &volumes;
    m_disks.clear();
    for (const Volume& listed : volumes.Volumes()) {
        std::unique_ptr<DiskImage> image;
        if (const auto found = images.find(listed.letter); found != images.end()) {
            OpenedImage opened = OpenImageFile(found->second);
            if (!opened.image) {
                error = opened.error;
                return false;
            }
            image = std::move(opened.image);
        }
        Volume& volume = *volumes.Find(listed.letter);
        m_disks[volume.letter] = MakeVolumeDisk(volume, volumes.ModelMutex(), std::move(image));
    }
    return true;
}

std::vector<DoorUnit> VolumeDisks::ForDoor(const char* door) {
    std::vector<DoorUnit> units;
    for (auto& [letter, disk] : m_disks) {
        Volume& volume = *m_volumes->Find(letter);
        std::mutex& models = m_volumes->ModelMutex();
        units.push_back({letter, volume.drive != nullptr,
                         std::make_unique<RecordedUnit>(*disk, door, letter, m_volumes->Commands()),
                         [&volume, &models] {
                             std::lock_guard lock(models);
                             return volume.Present();
                         }});
    }
    return units;
}

} // namespace vdrive

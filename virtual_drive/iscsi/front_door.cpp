#include "virtual_drive/iscsi/front_door.h"

#include "virtual_drive/disk/volume_disk.h"

namespace vdrive::iscsi {

bool FrontDoor::Start(VolumeSet& volumes, FrontDoorOptions options, TargetServer::Log log,
                      std::string& error) {
    for (const auto& [letter, path] : options.diskImages) {
        if (volumes.Find(letter) == nullptr) {
            error = std::string("--disk-image ") + letter + ": no volume at " + letter;
            return false;
        }
    }
    TargetList targets;
    for (const Volume& listed : volumes.Volumes()) {
        std::unique_ptr<DiskImage> image;
        if (const auto found = options.diskImages.find(listed.letter);
            found != options.diskImages.end()) {
            OpenedImage opened = OpenImageFile(found->second);
            if (!opened.image) {
                error = opened.error;
                return false;
            }
            image = std::move(opened.image);
        }
        Volume& volume = *volumes.Find(listed.letter);
        targets.push_back({TargetNameFor(volume.letter),
                           MakeVolumeDisk(volume, volumes.ModelMutex(), std::move(image))});
    }
    const std::string host = options.settings.host;
    m_server = std::make_unique<TargetServer>(std::move(targets), std::move(options.settings),
                                              std::move(log));
    if (!m_server->Listen(error)) {
        error = "cannot listen for iSCSI on " + host + ": " + error;
        m_server.reset();
        return false;
    }
    m_thread = std::thread([server = m_server.get()] { server->Run(); });
    return true;
}

void FrontDoor::Stop() {
    RequestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_server.reset();
}

} // namespace vdrive::iscsi

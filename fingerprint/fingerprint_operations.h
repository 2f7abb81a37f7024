// The fingerprint operations: find the drive, read its status, install, erase, show the
// model, and the main window's device-change handling. Written once against the window,
// transport and clock seams; the Windows dialog, the command line and the tests run them
// unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "device/clock.h"
#include "device/finger_disk.h"
#include "device/scsi_transport.h"
#include "fingerprint/fingerprint_window.h"

// 1 while an Install or Erase All waits for the drive; clearing it asks that operation
// to stop at the top of its next poll cycle.
extern int g_busy;

// Colours the operations use (0x00BBGGRR).
namespace colours {
inline constexpr Colour kRed = 0x3232C8;
inline constexpr Colour kBlue = 0xC83232;
inline constexpr Colour kPurple = 0xA032A0;
inline constexpr Colour kGreen = 0x329632;
inline constexpr Colour kLightYellow = 0xA0FFFF;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kBlack = 0x000000;
}  // namespace colours

// What RefreshTexts shows for the window's state; every front end uses this.
struct CommandStates {
    bool driveKnown = false;         // drive label and status line shown, Version shown
    bool viewStatusEnabled = false;
    bool installEnabled = false;
    bool eraseEnabled = false;
};

// Why Install or Erase All cannot start on the window's current state (its button is
// disabled then); None: it can.
enum class CommandBlock {
    None,
    NoDrive,          // no fingerprint drive connected
    NoSlotEntry,      // the last status reply held no valid slot entry (both counts 0)
    DriveFull,        // no free slot
    NothingInstalled, // nothing to erase
};

class CFingerprintOperations {
public:
    CFingerprintOperations(IFingerprintWindow& window, IScsiTransport& transport, IClock& clock);

    CFingerDisk m_device;
    int m_installedCount = 0;
    int m_freeCount = 0;

    // The drive search over the letters of `driveMask` (bit i: letter 'A' + i), from C.
    int FindFingerprintDrive(std::uint32_t driveMask);
    // Identity test, announcement and status read of the current drive.
    int ProbeFingerprintDrive();
    // The View Status button.
    void ViewStatus() { ProbeFingerprintDrive(); }
    // Slot list: counts the installed and free slots, then RefreshTexts.
    int ReadFingerprintStatus();
    // One progress poll; fills `report` (n bytes). 0: no report.
    int PollProgress(std::uint8_t* report, std::size_t n);
    void InstallNewFingerprint();
    void EraseAllFingerprints();
    void ShowModel();

    // Device-change handling of the main window (volume arrival / removal complete).
    void OnVolumeArrival();
    void OnVolumeRemoval(std::uint32_t unitMask);

    // Status line text for the current counts (message 10, or the counts line).
    std::u16string ComposeStatusLine() const;
    // Button states for the current drive letter and counts.
    CommandStates DescribeCommandStates() const;
    // What keeps Install and Erase All from starting; the button states follow from them.
    CommandBlock InstallBlock() const;
    CommandBlock EraseBlock() const;

private:
    IFingerprintWindow& m_window;
    IScsiTransport& m_transport;
    IClock& m_clock;
};

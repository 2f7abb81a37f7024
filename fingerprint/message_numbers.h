// The entries of the string files that the fingerprint operations show, by number.
#pragma once

namespace message_number {

// The status line.
inline constexpr int kNothingInstalled = 10;
inline constexpr int kInstalledLabel = 11;
inline constexpr int kFreeLabel = 12;

// Erase.
inline constexpr int kEraseConfirmCaption = 20;
inline constexpr int kEraseConfirmQuestion = 21;
inline constexpr int kEraseFailed = 23;
inline constexpr int kErased = 24;
inline constexpr int kEraseTimedOut = 25;

// Both install and erase: the drive waits for an enrolled finger.
inline constexpr int kAuthorizePrompt = 22;

// Install.
inline constexpr int kDiskProblem = 31;
inline constexpr int kInstallTimedOut = 32;
inline constexpr int kAuthorizationRefused = 33;
inline constexpr int kEnrolPrompt = 34;
inline constexpr int kInstalled = 35;
inline constexpr int kEnrolFailed = 36;

} // namespace message_number

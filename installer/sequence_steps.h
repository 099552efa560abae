// The steps that both the install and the uninstall sequence take.
#pragma once

#include "process_objects.h"

// Runs "kx.exe <tail>" in folder, waits, and puts its exit code into the run's outcome (0
// when not started). A tail too long for the command line is not passed on cut short. Never a
// kx.exe that a search finds: the one beside the installer, else the one in folder.
LaunchedProcess RunEngine(const char* commandLineTail, const char* folder) noexcept;

// True when the driver's service key can be opened for reading and is not marked for
// deletion (a non-zero REG_DWORD DeleteFlag); noted in the outcome.
[[nodiscard]] bool DriverServiceExists() noexcept;

// Closes the installer's handle on the installer key, then deletes the key.
void DeleteInstallerKey() noexcept;

// Why the programs meant for a user (the detector, the tool) are not started now: no
// user is there, or the engine has already started a restart. Null when they are.
[[nodiscard]] const char* WhyNotStartedNow() noexcept;

// "<folder>\<name>" of the first of the two folders holding that file; false when neither does.
[[nodiscard]] bool FindProgram(char (&path)[kMaxPath], const char* first, const char* second,
                               const char* name) noexcept;

// Starts a program for the session's user in the installation folder, without waiting, unless
// WhyNotStartedNow: elevated, as the shell's user; else as itself if that is the session's user.
bool StartForUser(const char* what, const char* application, const char* commandLine) noexcept;

// StartForUser of the detector, by its quoted full path; false also when its path is unknown. As SYSTEM
// or in session 0 and inEverySession, it starts instead in each user's session that is signed in.
bool StartDetector(bool inEverySession) noexcept;

// Runs the shortcut script with argument in the installation folder and waits for it. The ended
// script's handles are held until the sequence lets go.
LaunchedProcess RunShortcutScript(const char* argument) noexcept;

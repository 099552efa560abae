// A machine for the install and uninstall sequences: the installer's folders and
// open installer key as the entry leaves them, the shipped files beside the
// installer, and an engine whose effects on the registry and the installation
// folder a test chooses.
#pragma once

#include "command_lines.h"
#include "entry.h"
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <string>

const std::string kSource = "D:\\Setup";
const std::string kTarget = "C:\\Program Files (x86)\\OrvaPanels";
const std::string kSystem = "C:\\Windows\\system32";
const std::string kInstallerKeyText = kInstallerKeyPath;
const std::string kRunKeyText = kRunKeyPath;
const std::string kServiceKeyText = kDriverServiceKey;
const std::string kUninstallKeyText = kUninstallKey;
const std::string kRunValueText = kDetectorRunValue;

// What the engine stand-in does when it is started.
struct EngineBehaviour {
    bool installsDriver = true;
    bool removesDriver = true;
    bool createsUninstallKey = true;
    bool createsToolRan = false;
    bool putsItsFiles = true;  // kx.exe, menulinks.bat, Tesvo.exe into the folder; removed on /U
};

class SequenceTest : public ::testing::Test {
protected:
    SequenceTest();

    // The entry's part: folders, and the installer key created and held open.
    void SetFolders(const std::string& source, const std::string& target);
    bool HasFile(const std::string& path) const { return fakes.fileSystem.files.count(path) == 1; }
    std::string Value(const std::string& key, const std::string& name) const;
    bool HasValue(const std::string& key, const std::string& name) const;
    bool KeyExists(const std::string& key) const { return fakes.registry.keys.count(key) == 1; }
    int CountInLog(const std::string& line) const;
    // Every handle the sequence opened is closed again (the installer key aside).
    void ExpectNoHandleLeft(bool installerKeyOpen) const;

    FakePlatform fakes;
    EngineBehaviour engine;
    std::string engineSawScriptDeletion;  // "refused" or "deleted" when the engine tried
};

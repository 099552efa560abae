// The installer's action when the command line holds "/U".
#pragma once

// Takes the upper-cased command line tail; returns 1 when the driver's service is gone
// after the engine has run, 0 when it is still present.
int Uninstall(const char* commandLine) noexcept;

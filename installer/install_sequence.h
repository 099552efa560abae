// The installer's default action.
#pragma once

// Takes the upper-cased command line tail; returns 0 when the driver's service is
// present after the engine has run, 1 when not.
int Install(const char* commandLine) noexcept;

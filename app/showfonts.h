// Registers the compiled-in fonts and makes the show look the same on every
// machine, whatever fonts happen to be installed.
#pragma once

void registerShowFonts();

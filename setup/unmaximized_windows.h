#pragma once

// Keeps every window of fixed size (minimum size equal to maximum size: the setup window, the alerts) out of the
// maximized state, whoever asks for it. Installed once on the application; calling it again does nothing.
void keepFixedSizeWindowsUnmaximized();

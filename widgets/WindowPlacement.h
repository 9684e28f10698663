#pragma once

// Where the program's own windows appear and how big they are.

class QWidget;

// Moves a top-level window to the middle of the screen its parent (or, for a
// window without one, the primary screen) is on. Window managers may ignore
// positions; nothing is stored.
void CenterOnScreen(QWidget& window);

// Fixes a window's size at the larger of its design size and what its
// layout needs, so no caption is ever cut in a font wider than the design's.
void FixWindowSize(QWidget& window, int designWidth, int designHeight);

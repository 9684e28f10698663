#pragma once

// Where the program's own windows appear and how big they are.

#include <initializer_list>

class QWidget;

// Moves a top-level window to the middle of the screen its parent (or, for a
// window without one, the primary screen) is on. Window managers may ignore
// positions; nothing is stored.
void CenterOnScreen(QWidget& window);

// Fixes a window's size at the larger of its design size and what its
// layout needs, so no caption is ever cut in a font wider than the design's.
// Its controls are placed as PlaceControls places them.
void FixWindowSize(QWidget& window, int designWidth, int designHeight);

// Places the controls in widget at its present size, and those in each of
// them, now: a hidden window places them only when shown, and the controls
// of a group or of a tab not shown yet not even then, so until then they
// would have sizes that fit nothing.
void PlaceControls(QWidget& widget);

// Tab moves through the controls in this order, Shift+Tab back.
void SetTabOrder(std::initializer_list<QWidget*> controls);

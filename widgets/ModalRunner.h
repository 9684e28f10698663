#pragma once

// Shows one of the program's own modal windows and returns its result
// (QDialog::exec by default); tests replace it to drive the window instead
// of blocking in its event loop.

#include <functional>

#include <QDialog>

using ModalRunner = std::function<int(QDialog&)>;

inline int RunModal(QDialog& dialog) { return dialog.exec(); }

#pragma once

// Text that came from files (names, paths, tags) on its way to a terminal or
// to standard error. A terminal obeys control characters wherever they stand,
// so a file name could move the cursor, clear the screen or retitle the
// window; shown through here it reads as what it is.

#include <string>
#include <string_view>

// text with every control character written as "\x" and two lower-case hex
// digits, one escape per byte: C0 codes (line breaks and tabs included), DEL,
// the C1 codes U+0080 to U+009F, and any byte outside well-formed UTF-8 (a
// terminal in an 8-bit mode takes a lone 0x9B as a control too). Everything
// else, letters of every script included, is kept byte for byte.
[[nodiscard]] std::string TerminalSafe(std::string_view text);

// The stored lists of the settings store (one item per line). Items without
// line breaks or zero bytes come back from their joined text unchanged, and
// any stored text splits into such items.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "settings/RegTools.h"

using RegTools::JoinList;
using RegTools::SplitList;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    // The input as stored text, whatever it holds.
    const std::vector<std::string> split = SplitList(text);
    for (const std::string& item : split) {
        FUZZ_CHECK(item.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    }
    FUZZ_CHECK(SplitList(JoinList(split)) == split);

    // The input as items: one per LF, without CR and zero bytes.
    std::vector<std::string> items(1);
    for (const char c : text) {
        if (c == '\n') {
            items.emplace_back();
        } else if (c != '\r' && c != '\0') {
            items.back() += c;
        }
    }
    if (text.empty()) {
        items.clear();
    }
    FUZZ_CHECK(SplitList(JoinList(items)) == items);
    return 0;
}

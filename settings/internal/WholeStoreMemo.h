#pragma once

#include <mutex>
#include <string>

#include "settings/internal/StoreFiles.h"

namespace RegTools::Detail {

// The store this process last found whole, by the stamps its files had just
// before the check. The operations of one profile load then read the whole
// store once, not each time. Only files whose last change is a second old
// are remembered: a later change then always gets another time, however
// coarse the file system's clock.
class WholeStoreMemo
{
public:
    // Whether the file, with these stamps, was found whole.
    bool Holds(const std::string& file, const StoreFiles& files);
    // The file, with these stamps, was found whole just now.
    void Remember(const std::string& file, const StoreFiles& files);

private:
    std::mutex m_lock{};
    std::string m_file{};
    FileStamp m_stamp{};
    FileStamp m_logStamp{};
};

// The memo of this process.
WholeStoreMemo& WholeStores();

} // namespace RegTools::Detail

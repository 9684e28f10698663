#include "settings/internal/WholeStoreMemo.h"

#include <algorithm>
#include <ctime>

namespace RegTools::Detail {

bool WholeStoreMemo::Holds(const std::string& file, const StoreFiles& files)
{
    const std::lock_guard lock(m_lock);
    return files.File.Exists && m_file == file && m_stamp == files.File && m_logStamp == files.Log;
}

void WholeStoreMemo::Remember(const std::string& file, const StoreFiles& files)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t settled = Nanoseconds(now) - 1000000000;
    const std::int64_t lastChange = std::max(
        {files.File.ModifiedNs, files.File.ChangedNs, files.Log.ModifiedNs, files.Log.ChangedNs});
    if (!files.File.Exists || lastChange > settled) {
        return;
    }
    const std::lock_guard lock(m_lock);
    m_file = file;
    m_stamp = files.File;
    m_logStamp = files.Log;
}

WholeStoreMemo& WholeStores()
{
    static WholeStoreMemo memo;
    return memo;
}

} // namespace RegTools::Detail

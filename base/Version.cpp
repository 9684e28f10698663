#include "base/Version.h"

#include "SonorixRevision.h"

std::string VersionText()
{
    std::string text = "Sonorix " SONORIX_VERSION;
    const std::string revision = SONORIX_REVISION;
    if (!revision.empty()) {
        text += " (git ";
        text += revision;
        text += ')';
    }
    return text;
}

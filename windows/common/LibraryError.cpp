#include "LibraryError.h"

#include <vector>

namespace tindrel {

std::optional<QString> lastErrorDetail()
{
    TindrelReturnCode code = 0;
    const char *description = nullptr;
    size_t length = 0;
    if (Tindrel_getLastError(&code, &description, nullptr, &length) != TINDREL_OK)
        return std::nullopt;
    std::vector<char> detail(length + 1, '\0');
    size_t capacity = detail.size();
    if (Tindrel_getLastError(&code, &description, detail.data(), &capacity) != TINDREL_OK)
        return std::nullopt;
    detail.back() = '\0';
    return QString::fromUtf8(detail.data());
}

QString errorMessage(TindrelReturnCode code)
{
    if (auto detail = lastErrorDetail())
        return *detail;
    const char *description = nullptr;
    if (Tindrel_getErrorDescription(code, &description) == TINDREL_OK && description)
        return QString::fromUtf8(description);
    return QStringLiteral("Error %1").arg(code);
}

}   // namespace tindrel

#pragma once

#include <tindrel22_core.h>

#include <QString>

#include <optional>

namespace tindrel {

// The detail text of the calling thread's last library error, or nothing
// when the library cannot give it.
std::optional<QString> lastErrorDetail();

// What an alert shows for a failed call: the last error's detail text, or
// the code's description when the detail cannot be fetched.
QString errorMessage(TindrelReturnCode code);

}   // namespace tindrel

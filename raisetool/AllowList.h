// What raiseTool may touch as root: only the files and the service that the
// control panel owns. Everything else is refused before any service is used.
#pragma once

#include "Protocol.h"

#include <string_view>

namespace tindrel::raisetool {

// True when the command stays within the panel's own files and service:
//  * write and delete: the server configuration file, the service
//    description, or a file directly in the dictionary folder (a plain name:
//    not empty, no "/", not starting with ".");
//  * service command: one of the four verbs, aimed at the server's service
//    label or its service description;
//  * load driver: always (it names no path).
// Unknown and malformed commands are never allowed.
bool isAllowed(const Command &command);

}   // namespace tindrel::raisetool

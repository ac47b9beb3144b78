// Running the privileged helper: the 32-byte authorization naming this
// process, then one command block, on the helper's standard input.
#pragma once

#include "AuthorizationForm.h"
#include "Protocol.h"
#include "ServerServices.h"

#include <optional>

namespace tindrel::server {

// The helper's exit status (0 to 255), or -1 when it could not be run to a
// normal end. A helper ended by a signal is run once more; -1 after the
// second. Without an authorization form nothing is run and the result is -1.
int performCommand(platform::HelperLauncher &launcher, const raisetool::Block &block,
                   const std::optional<platform::AuthorizationFormBytes> &form);

// The authorization form naming this very process; nothing when /proc
// cannot tell its start time.
std::optional<platform::AuthorizationFormBytes> ownAuthorizationForm();

}   // namespace tindrel::server

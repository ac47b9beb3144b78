// The panel lock's authority: one polkit action checked for this very
// process (pid, start time, real uid).
#pragma once

#include "ServerServices.h"

#include <string>
#include <vector>

namespace tindrel::platform::linux_impl {

class PolkitPanelAuthority : public PanelAuthority {
public:
    // `action` is checked; `revoke()` drops this session's kept
    // authorizations for it and for the `alsoRevoked` actions.
    PolkitPanelAuthority(std::string action, std::vector<std::string> alsoRevoked);
    bool isAuthorized(bool allowInteraction) override;
    void revoke() override;

private:
    std::string action_;
    std::vector<std::string> alsoRevoked_;
};

}   // namespace tindrel::platform::linux_impl

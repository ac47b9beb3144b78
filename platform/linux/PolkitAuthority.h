// Authority backed by polkit. The subject of every check is the caller the
// tool identified (its parent: pid, start time, real uid); nothing from the
// input chooses it.
#pragma once

#include "AuthorizationForm.h"
#include "SystemServices.h"

#include <memory>
#include <optional>

namespace tindrel::platform::linux_impl {

class PolkitAuthority : public Authority {
public:
    bool acceptExternalForm(const ExternalForm &form, const ProcessSubject &caller) override;
    // Granted when the real and effective user are both root: pkexec (or
    // root itself) started this run. A set-user-ID run by an ordinary user
    // has a non-root real user and gets nothing.
    bool takeOverPrivileged() override;
    bool checkRight(std::string_view right, const ProcessSubject &caller) override;
};

}   // namespace tindrel::platform::linux_impl

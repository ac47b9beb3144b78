// Authority backed by polkit. The subject of every check is the tool's
// parent process as identified at start-up (pid, start time, real uid);
// nothing from the input chooses it.
#pragma once

#include "AuthorizationForm.h"
#include "SystemServices.h"

#include <memory>
#include <optional>

namespace tindrel::platform::linux_impl {

class PolkitAuthority : public Authority {
public:
    // `parent` is empty when the parent could not be identified: then no
    // external form is accepted and no right is granted.
    explicit PolkitAuthority(std::optional<ProcessSubject> parent);
    ~PolkitAuthority() override;
    PolkitAuthority(const PolkitAuthority &) = delete;
    PolkitAuthority &operator=(const PolkitAuthority &) = delete;

    bool acceptExternalForm(const ExternalForm &form) override;
    // Granted when the real and effective user are both root: pkexec (or
    // root itself) started this run. A set-user-ID run by an ordinary user
    // has a non-root real user and gets nothing.
    bool takeOverPrivileged() override;
    bool checkRight(std::string_view right) override;

private:
    std::optional<ProcessSubject> parent_;
};

}   // namespace tindrel::platform::linux_impl

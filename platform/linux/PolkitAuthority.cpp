#include "PolkitAuthority.h"

#include <polkit/polkit.h>
#include <unistd.h>

#include <string>

namespace tindrel::platform::linux_impl {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError *error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

}   // namespace

bool PolkitAuthority::acceptExternalForm(const ExternalForm &form, const ProcessSubject &caller)
{
    return formNamesSubject(form, caller);
}

bool PolkitAuthority::takeOverPrivileged() { return ::getuid() == 0 && ::geteuid() == 0; }

bool PolkitAuthority::checkRight(std::string_view right, const ProcessSubject &caller)
{
    GError *rawError = nullptr;
    GObjectPtr<::PolkitAuthority> authority(polkit_authority_get_sync(nullptr, &rawError));
    GErrorPtr error(rawError);
    if (!authority)
        return false;
    GObjectPtr<PolkitSubject> subject(polkit_unix_process_new_for_owner(
        static_cast<gint>(caller.pid), static_cast<guint64>(caller.startTime), static_cast<gint>(caller.uid)));
    if (!subject)
        return false;
    const std::string action(right);
    rawError = nullptr;
    GObjectPtr<PolkitAuthorizationResult> result(polkit_authority_check_authorization_sync(
        authority.get(), subject.get(), action.c_str(), nullptr,
        POLKIT_CHECK_AUTHORIZATION_FLAGS_ALLOW_USER_INTERACTION, nullptr, &rawError));
    error.reset(rawError);
    // Only an explicit yes counts; an error or a challenge without an
    // agent is a no.
    return result && !error && polkit_authorization_result_get_is_authorized(result.get());
}

}   // namespace tindrel::platform::linux_impl

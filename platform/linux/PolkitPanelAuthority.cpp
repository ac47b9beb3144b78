#include "PolkitPanelAuthority.h"

#include "LinuxServices.h"

#include <polkit/polkit.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

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

GObjectPtr<::PolkitAuthority> authority()
{
    GError *raw = nullptr;
    GObjectPtr<::PolkitAuthority> a(polkit_authority_get_sync(nullptr, &raw));
    GErrorPtr error(raw);
    return a;
}

}   // namespace

PolkitPanelAuthority::PolkitPanelAuthority(std::string action, std::vector<std::string> alsoRevoked)
    : action_(std::move(action))
    , alsoRevoked_(std::move(alsoRevoked))
{ }

bool PolkitPanelAuthority::isAuthorized(bool allowInteraction)
{
    const auto start = processStartTime(::getpid());
    auto a = authority();
    if (!a || !start)
        return false;
    GObjectPtr<PolkitSubject> subject(polkit_unix_process_new_for_owner(
        static_cast<gint>(::getpid()), static_cast<guint64>(*start), static_cast<gint>(::getuid())));
    GError *raw = nullptr;
    GObjectPtr<PolkitAuthorizationResult> result(polkit_authority_check_authorization_sync(
        a.get(), subject.get(), action_.c_str(), nullptr,
        allowInteraction ? POLKIT_CHECK_AUTHORIZATION_FLAGS_ALLOW_USER_INTERACTION
                         : POLKIT_CHECK_AUTHORIZATION_FLAGS_NONE,
        nullptr, &raw));
    GErrorPtr error(raw);
    return result && !error && polkit_authorization_result_get_is_authorized(result.get());
}

void PolkitPanelAuthority::revoke()
{
    auto a = authority();
    if (!a)
        return;
    GError *raw = nullptr;
    GObjectPtr<PolkitSubject> session(polkit_unix_session_new_for_process_sync(::getpid(), nullptr, &raw));
    GErrorPtr error(raw);
    if (!session)
        return;
    raw = nullptr;
    GList *list = polkit_authority_enumerate_temporary_authorizations_sync(a.get(), session.get(), nullptr, &raw);
    error.reset(raw);
    for (GList *l = list; l; l = l->next) {
        auto *temporary = static_cast<PolkitTemporaryAuthorization *>(l->data);
        const std::string id = polkit_temporary_authorization_get_action_id(temporary);
        if (id == action_ || std::find(alsoRevoked_.begin(), alsoRevoked_.end(), id) != alsoRevoked_.end()) {
            raw = nullptr;
            polkit_authority_revoke_temporary_authorization_by_id_sync(
                a.get(), polkit_temporary_authorization_get_id(temporary), nullptr, &raw);
            error.reset(raw);
        }
    }
    g_list_free_full(list, g_object_unref);
}

}   // namespace tindrel::platform::linux_impl

// The four top-level mechanisms in their fixed order.
#include "bootstrap/sequence.h"

#include <memory>

#include "bootstrap/dialogs.h"
#include "clients/relay/relay_download.h"
#include "core/dialog.h"
#include "core/log.h"
#include "core/messages.h"
#include "download/orchestration.h"
#include "download/proxy_record.h"
#include "proxy/proxy_download.h"

namespace {
// One of the two mechanisms that go through download_packages with a route of their own.
bool try_route(sequence& s, int route_kind) {
    auto route = std::make_unique<proxy_record>();
    route->route_kind = route_kind;
    return download_packages(s.ctx, s.config_url, s.work_folder, route.get()) != 0;
}
}   // namespace

road download_by_any_mechanism(sequence& s) {
    log_message(
        SEV_INFO,
        L"[0] Top level mechanism - p2p - Config files from Agent handlers directly - Install files via p2p only");
    dialog_message(s.ctx, MSG_TRYING_PEERS);
    log_message(SEV_INFO, L"Install via p2p mechanism");
    if (try_route(s, ROUTE_PEERS)) return road::downloaded;
    log_message(SEV_INFO, L"Install via p2p mechanism failed");
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[1] Top level mechanism - Agent handlers - Config files from Agent handlers directly - Install files via direct only");
    dialog_message(s.ctx, MSG_TRYING_DIRECT);
    log_message(SEV_INFO, L"Install directly via Agent handlers");
    if (try_route(s, ROUTE_AGENT_HANDLER)) return road::downloaded;
    log_message(SEV_INFO, L"Install directly via Agent handlers failed");
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[2] Top level mechanism - Proxy - Config files from Agent handlers via Proxy mechanism - Install files via p2p then Proxy");
    dialog_message(s.ctx, MSG_USING_PROXY);
    if (download_files_via_proxy(s.ctx, s.config_url, s.work_folder, prompt_proxy_credentials)) return road::downloaded;
    if (s.cancelled()) return road::cancelled;

    log_message(
        SEV_WARNING,
        L"[3] Top level mechanism - Relay - Config files from Agent handlers via Relay mechanism - Install files via p2p then Relay");
    dialog_message(s.ctx, MSG_USING_RELAY);
    if (download_via_relay(s.ctx, s.config_url, s.work_folder)) return road::downloaded;
    log_message(SEV_ERROR, L"Trying to install agent failed by all mechanisms");
    dialog_message(s.ctx, MSG_ALL_FAILED);
    return road::failed;
}

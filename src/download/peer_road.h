// The install files one by one from agents on the local network that hold them in their peer
// cache, each checked against the run's trusted manifest (kept in the run context when the
// configuration package was extracted).
#pragma once

struct run_context;
struct proxy_record;
struct transfer_handle;

enum peer_road_result {
    PEER_ROAD_NO_MANIFEST = -1,   // no manifest kept (or no work folder): the whole retrieval fails
    PEER_ROAD_FAILED = 0,
    PEER_ROAD_DELIVERED = 1,
};

peer_road_result fetch_install_files_from_peers(transfer_handle* handle, const wchar_t* work_folder, run_context* ctx,
                                                proxy_record* route);

// Starts the agent installer from the extracted install files and waits for it.
#pragma once

struct hash_entry;
struct os_named_lock;

// The agent installer's file in the work folder.
constexpr char agent_installer_file[] = "Vesinst.exe";

// 1 when the agent installer of the work folder is listed in the trusted manifest and matches
// it; logs why not. It runs as root: nothing unverified may.
int verify_agent_installer(const hash_entry* manifest, const char* work_folder);

// Non-zero when the agent installer succeeded. `instance_lock` (optional), the run's
// single-instance lock, is handed on to the agent installer: while it runs no second run can
// start another, even when this process is killed meanwhile.
int launch_agent_installer(const char* work_folder, const wchar_t* agent_guid, const char* tenant_id,
                           os_named_lock* instance_lock = nullptr);

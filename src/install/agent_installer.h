// Starts the agent installer from the extracted install files and waits for it.
#pragma once

struct os_named_lock;

// Non-zero when the agent installer succeeded. `instance_lock` (optional), the run's
// single-instance lock, is handed on to the agent installer: while it runs no second run can
// start another, even when this process is killed meanwhile.
int launch_agent_installer(const char* work_folder, const wchar_t* agent_guid, const char* tenant_id,
                           os_named_lock* instance_lock = nullptr);

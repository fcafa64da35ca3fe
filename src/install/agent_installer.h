// Starts the agent installer from the extracted install files and waits for it.
#pragma once

// Non-zero when the agent installer succeeded.
int launch_agent_installer(const char* work_folder, const wchar_t* agent_guid, const char* tenant_id);

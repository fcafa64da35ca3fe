// Who this host is to the management server: its fully qualified name, and the agent GUID and
// tenant (new, or those of an agent installed already).
#pragma once

#include <cstddef>

// The registry key of an installed agent.
extern const char agent_registry_key[];

// 1 with a non-empty fully qualified name (reverse lookup of the host's first address, else the
// system's own idea of its DNS name).
int get_fqdn(wchar_t* out, size_t capacity = 260);
int get_fqdn_from_system(wchar_t* out, size_t capacity = 260);

// A new GUID, 36 lower-case characters. 1 when produced.
int generate_agent_guid(wchar_t* out, size_t capacity = 260);

// The installed agent's AgentGUID. 1 when the value exists (then an agent is installed: the
// upgrade flag); the output changes only for a text value that fits. `capacity` is in characters
// and receives the needed size.
int read_agent_guid(wchar_t* out, size_t* capacity);

// The installed agent's TenantId, narrow. Same contract, capacity in bytes.
int read_tenant_id(char* out, size_t* capacity);

// "{0ab1...}" with the closing brace at index 37 becomes the 36 characters inside; anything else
// stays as it is.
void strip_guid_braces(wchar_t* guid);

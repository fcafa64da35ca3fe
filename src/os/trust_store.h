// The operating system's certificate trust: the check behind HTTPS transfers that have no CA
// bundle of their own (the server's chain is judged by the system's trust anchors).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Whether the system trusts the chain of a server certificate at the current time. `leaf` and
// each of `intermediates` (what the server sent besides the leaf, in any order) are DER bytes.
// No key usage and no host name are required; revocation is not checked.
bool os_server_chain_trusted(const unsigned char* leaf, size_t leaf_size,
                             const std::vector<std::string>& intermediates);

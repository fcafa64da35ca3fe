#include "clients/udp/qz_udp_utils.h"

#include "os/network_interfaces.h"
#include "utils/qz_status.h"

#include <uv.h>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

const char not_available[] = "N/A";

void copy_text(char* out, const char* in) { std::snprintf(out, QZ_ADDRESS_TEXT_SIZE, "%s", in); }

bool format_address(int family, const unsigned char* bytes, char* out) {
    char text[QZ_ADDRESS_TEXT_SIZE];
    if (uv_inet_ntop(family == QZ_FAMILY_IPV4 ? AF_INET : AF_INET6, bytes, text, sizeof text) != 0) return false;
    copy_text(out, text);
    return true;
}

// Subnet address = address AND mask; broadcast address = NOT mask OR subnet address.
void fill_ipv4_subnet(const unsigned char address[4], const unsigned char mask[4], char* mask_out, char* subnet_out,
                      char* broadcast_out) {
    unsigned char subnet[4], broadcast[4];
    for (int i = 0; i < 4; ++i) {
        subnet[i] = address[i] & mask[i];
        broadcast[i] = static_cast<unsigned char>(~mask[i] | subnet[i]);
    }
    format_address(QZ_FAMILY_IPV4, mask, mask_out);
    format_address(QZ_FAMILY_IPV4, subnet, subnet_out);
    format_address(QZ_FAMILY_IPV4, broadcast, broadcast_out);
}

// The prefix mask in eight groups ("ffff:ffff:ffff:ffff:0:0:0:0" for 64), or "N/A" when the
// prefix is unknown or covers the whole address.
void fill_ipv6_mask(int prefix_length, char* out) {
    copy_text(out, not_available);
    if (prefix_length < 0 || prefix_length >= 128) return;
    unsigned char mask[16] = {};
    int whole = prefix_length / 8;
    std::memset(mask, 0xff, whole);
    if (prefix_length % 8) mask[whole] = static_cast<unsigned char>(0xff << (8 - prefix_length % 8));
    char text[QZ_ADDRESS_TEXT_SIZE];
    if (format_address(QZ_FAMILY_IPV6, mask, text)) expand_ipv6_text(out, text);
}

int count_colons(const char* begin, const char* end) {
    int colons = 0;
    for (const char* c = begin; c < end; ++c) colons += *c == ':';
    return colons;
}

// Expects lower-case text. Matches anywhere in the text, as the drop rule always has.
bool is_link_or_site_local(const char* text) { return std::strstr(text, "fe80") || std::strstr(text, "fec0"); }

// Fills the record from the system's address; false drops the address.
bool describe_address(const os_adapter& adapter, const os_adapter_address& source, interface_address* address) {
    if (!format_address(source.family, source.address, address->ip_address)) return false;
    address->family = source.family;
    if (source.family == QZ_FAMILY_IPV4) {
        address->scope_id = 0;
        if (source.prefix_length >= 0) {
            fill_ipv4_subnet(source.address, source.netmask, address->subnet_mask, address->subnet_address,
                             address->broadcast_address);
            return true;
        }
        return get_ipv4_subnet_info(address->ip_address, address->subnet_mask, address->subnet_address,
                                    address->broadcast_address) == QZ_OK;
    }
    for (char* c = address->ip_address; *c; ++c) *c = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    if (is_link_or_site_local(address->ip_address)) return false;
    address->scope_id = adapter.ipv6_index;
    fill_ipv6_mask(source.prefix_length, address->subnet_mask);
    copy_text(address->subnet_address, not_available);
    copy_text(address->broadcast_address, not_available);
    return true;
}

// Builds the interface record of one adapter; null with *no_memory set when memory ran out,
// null alone when the adapter has no usable address.
network_interface* describe_adapter(const os_adapter& adapter, bool* no_memory) {
    network_interface* nic = create_network_interface();
    if (!nic) {
        *no_memory = true;
        return nullptr;
    }
    if (adapter.name.size() < sizeof nic->name) std::memcpy(nic->name, adapter.name.c_str(), adapter.name.size() + 1);
    std::memcpy(nic->physical_address, adapter.physical_address, sizeof nic->physical_address);
    nic->kind = static_cast<uint32_t>(adapter.kind);
    for (const os_adapter_address& source : adapter.addresses) {
        if (source.family != QZ_FAMILY_IPV4 && source.family != QZ_FAMILY_IPV6) continue;
        interface_address* address = create_interface_address();
        if (!address) {
            free_network_interface(nic);
            *no_memory = true;
            return nullptr;
        }
        if (!describe_address(adapter, source, address)) {
            free_interface_address(address);
            continue;
        }
        nic->family_mask |= static_cast<uint32_t>(address->family);
        add_interface_address(nic, address);
    }
    nic->index = static_cast<uint16_t>(adapter.ipv4_index != 0 ? adapter.ipv4_index : adapter.ipv6_index);
    if (nic->address_count < 1) {
        free_network_interface(nic);
        return nullptr;
    }
    return nic;
}

}   // namespace

interface_address* create_interface_address() { return new (std::nothrow) interface_address{}; }

network_interface* create_network_interface() { return new (std::nothrow) network_interface{}; }

void free_interface_address(interface_address* address) { delete address; }

void free_network_interface(network_interface* nic) {
    if (!nic) return;
    for (interface_address* address = nic->first_address; address;) {
        interface_address* next = address->next;
        delete address;
        address = next;
    }
    delete nic;
}

int add_interface_address(network_interface* nic, interface_address* address) {
    if (!nic || !address) return QZ_ERR_MISSING_ARGUMENT;
    for (interface_address* known = nic->first_address; known; known = known->next) {
        if (std::strcmp(known->ip_address, address->ip_address) == 0) {
            free_interface_address(address);
            return QZ_OK;
        }
    }
    address->next = nullptr;
    if (nic->last_address)
        nic->last_address->next = address;
    else
        nic->first_address = address;
    nic->last_address = address;
    ++nic->address_count;
    nic->family_mask |= static_cast<uint32_t>(address->family);
    return QZ_OK;
}

int add_network_interface(network_interface_list* list, network_interface* nic) {
    if (!list || !nic) return QZ_ERR_MISSING_ARGUMENT;
    for (network_interface* known = list->first; known; known = known->next) {
        if (known->index != nic->index) continue;
        for (interface_address* address = nic->first_address; address;) {
            interface_address* next = address->next;
            add_interface_address(known, address);
            address = next;
        }
        list->family_mask |= known->family_mask;
        delete nic;   // its addresses now belong to the known interface, or were freed
        return QZ_OK;
    }
    nic->next = nullptr;
    if (list->last)
        list->last->next = nic;
    else
        list->first = nic;
    list->last = nic;
    ++list->count;
    list->family_mask |= nic->family_mask;
    return QZ_OK;
}

int free_network_interfaces(network_interface_list* list) {
    if (!list) return QZ_ERR_MISSING_ARGUMENT;
    for (network_interface* nic = list->first; nic;) {
        network_interface* next = nic->next;
        free_network_interface(nic);
        nic = next;
    }
    *list = network_interface_list{};
    return QZ_OK;
}

int get_network_interfaces(network_interface_list* list) {
    if (!list) return QZ_ERR_MISSING_ARGUMENT;
    std::vector<os_adapter> adapters;
    os_adapters_result queried = os_list_adapters(adapters);
    if (queried == OS_ADAPTERS_NO_MEMORY) return QZ_ERR_NO_MEMORY;
    if (queried != OS_ADAPTERS_OK) return QZ_ERR_NO_CONTENT;
    for (const os_adapter& adapter : adapters) {
        if (adapter.loopback || adapter.down) continue;
        bool no_memory = false;
        network_interface* nic = describe_adapter(adapter, &no_memory);
        if (no_memory) {
            free_network_interfaces(list);
            return QZ_ERR_NO_MEMORY;
        }
        if (nic) add_network_interface(list, nic);
    }
    return QZ_OK;
}

int get_ipv4_subnet_info(const char* address_text, char* mask_out, char* subnet_out, char* broadcast_out) {
    if (!address_text || !mask_out || !subnet_out || !broadcast_out) return QZ_ERR_NO_CONTENT;
    unsigned char mask[4];
    if (os_find_ipv4_netmask(address_text, mask) != 1) return QZ_ERR_NO_CONTENT;
    unsigned char address[4];
    if (uv_inet_pton(AF_INET, address_text, address) != 0) return QZ_ERR_NO_CONTENT;
    fill_ipv4_subnet(address, mask, mask_out, subnet_out, broadcast_out);
    return QZ_OK;
}

int expand_ipv6_text(char* out, const char* in) {
    if (!out || !in) return QZ_ERR_MISSING_ARGUMENT;
    char text[QZ_ADDRESS_TEXT_SIZE];
    std::snprintf(text, sizeof text, "%s", in);
    if (std::strstr(text, "fe80") || std::strstr(text, "fec0")) {
        if (char* scope = std::strchr(text, '%')) *scope = '\0';
    }
    const char* gap = std::strstr(text, "::");
    if (!gap) {
        copy_text(out, text);
        return QZ_OK;
    }
    if (std::strcmp(text, "::") == 0) {
        copy_text(out, "0:0:0:0:0:0:0:0");
        return QZ_OK;
    }
    const char* after = gap + 1;   // from the second colon of "::"
    int missing = 7 - count_colons(text, gap) - count_colons(after, after + std::strlen(after));
    char result[QZ_ADDRESS_TEXT_SIZE];
    // A leading "::" still needs its first group, or "::1" would come out with seven.
    int length = gap == text ? std::snprintf(result, sizeof result, "0")
                             : std::snprintf(result, sizeof result, "%.*s", static_cast<int>(gap - text), text);
    for (int i = 0; i < missing && length + 2 < static_cast<int>(sizeof result); ++i)
        length += std::snprintf(result + length, sizeof result - length, ":0");
    if (length + std::strlen(after) < sizeof result)
        length += std::snprintf(result + length, sizeof result - length, "%s", after);
    if (result[length - 1] == ':' && length + 1 < static_cast<int>(sizeof result)) std::strcat(result, "0");
    copy_text(out, result);
    return QZ_OK;
}

// The machine's usable network interfaces for peer discovery: adapters that are not a loopback
// and whose operational status is not down, with their unicast addresses (link-local and
// site-local IPv6 left out), and for each IPv4 address its subnet mask, subnet address and
// broadcast address.
// The list is rebuilt for every UDP request and freed after it; it belongs to its caller.
#pragma once

#include <cstdint>

enum { QZ_ADDRESS_TEXT_SIZE = 128, QZ_INTERFACE_NAME_SIZE = 256 };

// Family codes of addresses, and bits of the family masks (1 | 2 = 3 for both).
enum { QZ_FAMILY_IPV4 = 1, QZ_FAMILY_IPV6 = 2 };

// Interface kinds.
enum { QZ_INTERFACE_ETHERNET = 1, QZ_INTERFACE_WIRELESS = 2, QZ_INTERFACE_OTHER = 3 };

struct interface_address {
    interface_address* next;
    char ip_address[QZ_ADDRESS_TEXT_SIZE];          // numeric text
    char subnet_mask[QZ_ADDRESS_TEXT_SIZE];         // IPv6: prefix mask in eight groups, or "N/A"
    char subnet_address[QZ_ADDRESS_TEXT_SIZE];      // IPv6: "N/A"
    char broadcast_address[QZ_ADDRESS_TEXT_SIZE];   // IPv6: "N/A"
    uint32_t scope_id;                              // 0 for IPv4, the interface index for IPv6
    int family;                                     // QZ_FAMILY_IPV4 or QZ_FAMILY_IPV6
};

struct network_interface {
    network_interface* next;
    interface_address* first_address;
    interface_address* last_address;
    int32_t address_count;
    char name[QZ_INTERFACE_NAME_SIZE];   // UTF-8; empty when it did not fit
    unsigned char physical_address[6];
    uint16_t index;
    uint32_t family_mask;
    uint32_t kind;
};

struct network_interface_list {
    network_interface* first;
    network_interface* last;
    uint32_t count;
    uint32_t family_mask;
};

// Fills an empty, caller-allocated list (zero-initialise it). 0 done (the list may be empty),
// 1 no list, 4 out of memory (the list is emptied), 11 the system could not be asked.
int get_network_interfaces(network_interface_list* list);

// Frees every interface and address and leaves the list empty. 0, or 1 for no list.
int free_network_interfaces(network_interface_list* list);

// Subnet mask, subnet address and broadcast address (each QZ_ADDRESS_TEXT_SIZE bytes) of a
// dotted IPv4 address of this machine. 0 found, 11 not among the system's IPv4 addresses.
int get_ipv4_subnet_info(const char* address_text, char* mask_out, char* subnet_out, char* broadcast_out);

// Writes the IPv6 text with "::" spelt out as zero groups ("ffff:ffff::" becomes
// "ffff:ffff:0:0:0:0:0:0") into out (at most QZ_ADDRESS_TEXT_SIZE bytes). 0, or 1.
int expand_ipv6_text(char* out, const char* in);

// Appends the address unless one with the same text is already on the interface (then the new
// one is freed). Takes ownership. 0, or 1 for a missing argument.
int add_interface_address(network_interface* nic, interface_address* address);

// Appends the interface, or merges its addresses into the listed interface with the same index
// and frees it. Takes ownership. 0, or 1 for a missing argument.
int add_network_interface(network_interface_list* list, network_interface* nic);

// Records made for add_interface_address and add_network_interface (zeroed; null when out of
// memory), and their release for records that were never added.
interface_address* create_interface_address();
network_interface* create_network_interface();
void free_interface_address(interface_address* address);
void free_network_interface(network_interface* nic);   // with its addresses

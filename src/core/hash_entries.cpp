#include "core/hash_entries.h"

void free_hash_entries(hash_entry* entries) {
    while (entries) {
        hash_entry* next = entries->next;
        delete entries;
        entries = next;
    }
}

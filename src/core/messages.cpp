#include "core/messages.h"

#include <atomic>

#include "core/catalogue/catalogue.h"
#include "os/session.h"

namespace {
struct lcid_catalogue {
    unsigned lcid;
    const message_table* table;
};

// Exact matches only: a regional variant not listed here gets English. Nynorsk (2068) shares
// the Norwegian table.
const lcid_catalogue catalogues[] = {
    {1028, &catalogue_chinese_traditional},
    {1029, &catalogue_czech},
    {1030, &catalogue_danish},
    {1031, &catalogue_german},
    {1034, &catalogue_spanish},
    {1035, &catalogue_finnish},
    {1036, &catalogue_french},
    {1040, &catalogue_italian},
    {1041, &catalogue_japanese},
    {1042, &catalogue_korean},
    {1043, &catalogue_dutch},
    {1044, &catalogue_norwegian},
    {1045, &catalogue_polish},
    {1046, &catalogue_portuguese_brazil},
    {1049, &catalogue_russian},
    {1053, &catalogue_swedish},
    {1055, &catalogue_turkish},
    {2052, &catalogue_chinese_simplified},
    {2068, &catalogue_norwegian},
    {2070, &catalogue_portuguese_portugal},
    {3082, &catalogue_spanish},
};

std::atomic<const message_table*> active{&catalogue_english};
}   // namespace

void select_language_for_lcid(unsigned lcid) {
    const message_table* table = &catalogue_english;
    for (const auto& entry : catalogues) {
        if (entry.lcid == lcid) table = entry.table;
    }
    active.store(table);
}

int select_language() {
    select_language_for_lcid(os_user_lcid());
    return 1;
}

const wchar_t* get_message_text(int id) {
    const message_table* table = active.load();
    if (id < 0 || static_cast<size_t>(id) >= table->count || !table->texts[id]) return L"???";
    return table->texts[id];
}

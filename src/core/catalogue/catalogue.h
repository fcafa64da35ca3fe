// The per-language tables behind messages.h. Entry k of a table holds message id k.
#pragma once

#include <cstddef>

struct message_table {
    const wchar_t* const* texts;   // texts[k] is message k; null means "no text"
    size_t count;                  // 54 in English (ids 0-53), 53 elsewhere (ids 0-52)
};

extern const message_table catalogue_english;
extern const message_table catalogue_chinese_traditional;   // 1028
extern const message_table catalogue_czech;                 // 1029
extern const message_table catalogue_danish;                // 1030
extern const message_table catalogue_german;                // 1031
extern const message_table catalogue_spanish;               // 1034, 3082
extern const message_table catalogue_finnish;               // 1035
extern const message_table catalogue_french;                // 1036
extern const message_table catalogue_italian;               // 1040
extern const message_table catalogue_japanese;              // 1041
extern const message_table catalogue_korean;                // 1042
extern const message_table catalogue_dutch;                 // 1043
extern const message_table catalogue_norwegian;             // 1044
extern const message_table catalogue_polish;                // 1045
extern const message_table catalogue_portuguese_brazil;     // 1046
extern const message_table catalogue_russian;               // 1049
extern const message_table catalogue_swedish;               // 1053
extern const message_table catalogue_turkish;               // 1055
extern const message_table catalogue_chinese_simplified;    // 2052
extern const message_table catalogue_portuguese_portugal;   // 2070

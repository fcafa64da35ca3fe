#include "bootstrap/catalogue/catalogue.h"
namespace { const wchar_t* const texts[] = {L"TODO"}; }
const message_table catalogue_norwegian = {texts, 1};

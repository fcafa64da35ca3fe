// Shared by the message records and the codec; not for users of the messages.
#pragma once

#include "clients/udp/qz_udp_message.h"

// A structured message made from decoded parts; takes over one reference of each (header:
// qz_msgbus_header_fields values of the fields' types; payload may be nullptr). nullptr when out
// of memory, and the parts are then still the caller's.
qz_msgbus_message* qz_msgbus_message_adopt(qz_value* const* header, qz_value* properties, qz_value* payload);

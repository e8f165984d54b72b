#pragma once

#include "base/nx_time.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nxkit {

// The state texts an event row can hold: the journal's five, and those of the other kinds.
const std::vector<std::string>& archive_state_texts();
inline const char* archive_text_acknowledged = "квитировано";
inline const char* archive_text_manual_on = "ручной ввод";
inline const char* archive_text_manual_off = "авто";
inline const char* archive_text_connected = "связь есть";
inline const char* archive_text_disconnected = "нет связи";

// The program's local nx_time as UTC milliseconds, and back.
std::int64_t archive_ms(nx_time t);
nx_time archive_nx_time(std::int64_t ms);

} // namespace nxkit

#pragma once

#include <string>
#include <vector>

namespace nxkit {

class whatif_engine;

// One step of a switching program ("Бланк переключений").
struct program_step {
    // A dispatcher name ("QS1") or a signal key ("s1_1_2").
    std::string apparatus;
    bool switch_on = false;
    std::string comment;
    // The line of the file it came from (0 when entered in the editor).
    int line = 0;
};

// Reads a program (docs/switching-program.md): CSV lines "аппарат;операция;комментарий"
// (";", tab or "," between fields, fields may be quoted) or plain lines
// "операция аппарат [комментарий]"; "#" lines and a heading line are skipped. UTF-8, or
// Windows-1251 when the text is not UTF-8. Throws nx_exception naming the line.
std::vector<program_step> read_switching_program(const std::string& text);
// The CSV form read_switching_program takes back (UTF-8, ";" separated, with a heading).
std::string switching_program_csv(const std::vector<program_step>& steps);
// "включить" / "отключить".
const char* operation_text(bool switch_on);

// What the check found for one step.
struct step_result {
    enum verdict_kind : int {
        permitted = 0,
        blocked = 1,
        // No table row controls the apparatus: nothing proves the step, so it is not passed.
        no_row = 2,
        // Neither a column's name nor a signal: the step cannot be applied.
        unknown_apparatus = 3,
    };
    program_step step;
    verdict_kind verdict = blocked;
    std::string apparatus_name;
    // Whether the apparatus already stood in the position asked for.
    bool already = false;
    // When refused: per row, per refusing condition, its permissions with their signals.
    std::vector<std::string> explanation;
};

// Runs the program in the engine: each step is checked against the table rows of its
// apparatus (permitted when a condition for that operation permits, in one row of every
// table that has one), explained when refused, then its position change is applied and the
// next step checked. The engine keeps the state after the last step.
std::vector<step_result> check_switching_program(whatif_engine& engine,
                                                 const std::vector<program_step>& steps);
// The verdict's word: "разрешено", "ЗАПРЕЩЕНО", "нет блокировки", "аппарат не найден".
const char* verdict_text(step_result::verdict_kind verdict);
// Whether every step passed.
bool program_passes(const std::vector<step_result>& results);
// The printed result, one step a block: "1. отключить QS1: разрешено" and the explanation
// lines indented below a refused step; a final line counts the refused steps.
std::string program_result_text(const std::vector<step_result>& results);
// The same as CSV: "шаг;аппарат;операция;результат;пояснение;комментарий".
std::string program_result_csv(const std::vector<step_result>& results);

} // namespace nxkit

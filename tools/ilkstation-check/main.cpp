// ilkstation-check: runs switching programs in the what-if engine on a station's configuration
// and prints, step by step, whether the interlock tables permit them; or compares the tables
// with the switching rules read on the schemes' connectivity (docs/ilkstation-check.md,
// docs/interlock-rules.md). Exit status 0: every step permitted (no insufficient interlock);
// 1: a step refused or not proven (an insufficient interlock); 2: bad input.

#include "base/cp1251.h"
#include "base/files.h"
#include "base/nx_exception.h"
#include "interlock/whatif/switching_program.h"
#include "interlock/whatif/whatif_engine.h"
#include "interlock/topology/topology_check.h"
#include "interlock/whatif/whatif_state.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

using namespace nxkit;

namespace {

const char* const usage =
    "использование:\n"
    "  ilkstation-check --station КАТАЛОГ --program ФАЙЛ [--state ФАЙЛ] [--csv]\n"
    "  ilkstation-check --station КАТАЛОГ --topology\n"
    "\n"
    "  --station КАТАЛОГ  каталог станции (refs.ini, SDE/)\n"
    "  --program ФАЙЛ     бланк переключений (текст или CSV)\n"
    "  --state ФАЙЛ       исходное состояние проверки (без него: все аппараты отключены)\n"
    "  --csv              результат в виде CSV\n"
    "  --topology         сравнить таблицы блокировок с правилами переключений по связям схем\n"
    "\n"
    "Код возврата: 0 все шаги разрешены (по схеме: нет недостаточных блокировок),\n"
    "1 есть запрещённый или непроверенный шаг (недостаточная блокировка),\n"
    "2 ошибка входных данных.\n";

// What the command line asks for. Each check is one member, so another can be added beside.
struct options {
    std::string station;
    std::string program;
    std::string state;
    bool csv = false;
    bool topology = false;
};

[[noreturn]] void fail(const std::string& text, int status = 2) {
    std::cerr << "ilkstation-check: " << text << "\n";
    std::exit(status);
}

options parse(int argc, char** argv) {
    options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc)
                fail(a + ": нет значения");
            return argv[++i];
        };
        if (a == "--station")
            o.station = next();
        else if (a == "--program")
            o.program = next();
        else if (a == "--state")
            o.state = next();
        else if (a == "--csv")
            o.csv = true;
        else if (a == "--topology")
            o.topology = true;
        else if (a == "--help" || a == "-h") {
            std::cout << usage;
            std::exit(0);
        } else if (a == "--version") {
            std::cout << "ilkstation-check " << ILK_VERSION << "\n";
            std::exit(0);
        } else
            fail("неизвестный параметр " + a + "\n" + usage);
    }
    if (o.station.empty())
        fail("не указан --station\n" + std::string(usage));
    if (o.program.empty() == !o.topology)
        fail((o.topology ? "укажите --program или --topology, не оба\n"
                         : "не указан --program или --topology\n") +
             std::string(usage));
    if (o.station.back() != '/')
        o.station += '/';
    return o;
}

std::string read_or_fail(const std::string& path) {
    std::string bytes;
    if (!file_exists(path) || !read_file(path, bytes))
        fail("не удалось прочитать " + path);
    return bytes;
}

int check_program(const options& o) {
    std::vector<program_step> steps;
    try {
        steps = read_switching_program(read_or_fail(o.program));
    } catch (const nx_exception& e) {
        fail(o.program + ": " + e.what());
    }
    if (steps.empty())
        fail(o.program + ": в бланке нет шагов");

    // The station's files are only read: the engine's store is detached and the equipment
    // tree it reads is never started.
    std::unique_ptr<whatif_engine> engine;
    try {
        engine = whatif_engine::from_text(from_cp1251(read_or_fail(o.station + "refs.ini")),
                                          whatif_signal{});
    } catch (const nx_exception& e) {
        fail(o.station + "refs.ini: " + e.what());
    }
    if (!o.state.empty()) {
        try {
            engine->set_values(read_whatif_state(read_or_fail(o.state)));
            engine->apply();
        } catch (const nx_exception& e) {
            fail(o.state + ": " + e.what());
        }
    }
    std::vector<step_result> results = check_switching_program(*engine, steps);
    std::cout << (o.csv ? program_result_csv(results) : program_result_text(results));
    return program_passes(results) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    options o = parse(argc, argv);
    // The station's own files (scheme folder, element types) are found where the workstation
    // finds them.
    ::setenv("ILKSTATION_HOME", o.station.c_str(), 1);
    if (o.topology)
        return run_topology_check(o.station, std::cout);
    return check_program(o);
}

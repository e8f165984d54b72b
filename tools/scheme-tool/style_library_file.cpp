// Writes the built-in style library as the file default.XSTL (Windows-1251), as a station
// gets it on its first start; the package ships it for stations made by hand.

#include "base/cp1251.h"
#include "base/files.h"
#include "schemes/control/style_library.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("использование: ilk-style-library ФАЙЛ\n", stderr);
        return 2;
    }
    if (!nxkit::write_file_atomic(argv[1], nxkit::to_cp1251(nxkit::builtin_library_text()),
                                  false)) {
        std::fprintf(stderr, "ilk-style-library: не удалось записать %s\n", argv[1]);
        return 1;
    }
    return 0;
}

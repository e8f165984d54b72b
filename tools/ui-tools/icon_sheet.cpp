// ilk-icon-sheet FOLDER: renders the icon set into FOLDER/icons.png (every picture at 16, 32
// and 48 pixels with its number) and writes FOLDER/icons.md, the page that shows it.
#include "ui/icon_set.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ilk-icon-sheet FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    QString folder = QString::fromLocal8Bit(argv[1]);
    std::vector<int> numbers;
    for (int n = 1400; n <= 1464; ++n)
        numbers.push_back(n);
    for (int n = 1500; n <= 1558; ++n)
        numbers.push_back(n);

    const int cell_w = 150;
    const int cell_h = 64;
    const int columns = 8;
    int rows = (static_cast<int>(numbers.size()) + columns - 1) / columns;
    QImage sheet(columns * cell_w, rows * cell_h, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    nxkit::icon_set icons;
    QPainter p(&sheet);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    p.setFont(font);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        int x = static_cast<int>(i % columns) * cell_w;
        int y = static_cast<int>(i / columns) * cell_h;
        p.setPen(QColor(220, 220, 220));
        p.drawRect(x, y, cell_w - 1, cell_h - 1);
        p.drawPixmap(x + 6, y + 8, icons.pixmap(numbers[i], 48));
        p.drawPixmap(x + 60, y + 8, icons.pixmap(numbers[i], 32));
        p.drawPixmap(x + 98, y + 8, icons.pixmap(numbers[i], 16));
        p.setPen(Qt::black);
        p.drawText(QRect(x + 60, y + 42, 84, 18), Qt::AlignLeft, QString::number(numbers[i]));
    }
    p.end();
    if (!sheet.save(folder + "/icons.png", "PNG")) {
        std::fprintf(stderr, "ilk-icon-sheet: cannot write %s/icons.png\n", argv[1]);
        return 1;
    }

    QFile page(folder + "/icons.md");
    if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QTextStream out(&page);
    out << "# The icon set\n\n"
        << "Every picture of the program, keyed by its number, at 48, 32 and 16 pixels. The\n"
        << "pictures are SVG files in `ui/icons/`, drawn by `tools/icons/draw_icons.py` and\n"
        << "compiled into the program; this page and its image are written by\n"
        << "`build/tools/ui-tools/ilk-icon-sheet docs` (do not edit them by hand).\n\n"
        << "Apparatus follow the single-line diagram conventions: a breaker is a square (1424,\n"
        << "1425; withdrawable 1426, 1427), a disconnector a blade (1419, 1420), an earthing\n"
        << "switch a blade with the earth mark (1422, 1423); switched on is red, switched off\n"
        << "green. 1400-1464 are the pictures of trees, lists and scheme elements (1400, 1403,\n"
        << "1404, 1439, 1444, 1443 or 1452, 1445 and 1462 are the overlay marks 1 to 8); "
           "1500-1558\n"
        << "those of the toolbar and the dialogs.\n\n"
        << "![icon set](icons.png)\n";
    return 0;
}

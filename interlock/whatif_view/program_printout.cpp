#include "interlock/whatif_view/program_printout.h"

#include "config/t_ref_buff.h"
#include "schemes/control/scheme_control.h"

#include <QFontMetrics>
#include <QPainter>

namespace nxkit {

QColor verdict_colour(step_result::verdict_kind verdict) {
    return verdict == step_result::permitted ? QColor(0, 150, 0) : QColor(210, 0, 0);
}

int paint_program_result(QPainter& painter, const QRect& page, const std::string& title,
                         const std::vector<step_result>& results) {
    painter.save();
    painter.translate(page.topLeft());
    double top = paint_print_banner(painter, page.width(), QString::fromUtf8(whatif_banner_text));
    QFont font = painter.font();
    const int line = std::max(12, page.width() / 60);
    font.setPixelSize(line);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int y = static_cast<int>(top);
    painter.drawText(QRect(0, y, page.width(), line * 2), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(title));
    y += line * 2;
    font.setBold(false);
    painter.setFont(font);
    const int step_height = line * 3 / 2;
    int painted = 0;
    int number = 0;
    for (const step_result& r : results) {
        ++number;
        int needed = step_height * (1 + static_cast<int>(r.explanation.size()));
        if (y + needed > page.height())
            break;
        QRect mark(0, y + step_height / 6, line, line);
        painter.fillRect(mark, verdict_colour(r.verdict));
        std::string text = std::to_string(number) + ". " + operation_text(r.step.switch_on) + " " +
                           r.step.apparatus + ": " + verdict_text(r.verdict);
        if (!r.step.comment.empty())
            text += " \xE2\x80\x94 " + r.step.comment;
        painter.setPen(r.verdict == step_result::permitted ? Qt::black : QColor(160, 0, 0));
        painter.drawText(QRect(line * 2, y, page.width() - line * 2, step_height),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(text));
        y += step_height;
        painter.setPen(Qt::black);
        for (const std::string& why : r.explanation) {
            QString shown = QString::fromStdString(why);
            shown.replace('\t', "    ");
            painter.drawText(QRect(line * 3, y, page.width() - line * 3, step_height),
                             Qt::AlignLeft | Qt::AlignVCenter, shown);
            y += step_height;
        }
        ++painted;
    }
    painter.restore();
    return painted;
}

} // namespace nxkit

#include "shell/toolbar_buttons.h"

namespace nxkit {

const std::vector<button_spec>& toolbar_table() {
    using b = toolbar_button;
    static const std::vector<button_spec> table = {
        {b::reload, "_bRELOAD", "Загрузить", "Загрузить конфигурацию с потерей всех изменений",
         1503, 0, 0, false, 0, false},
        {b::save, "_bSAVE", "Сохранить", "Сохранить конфигурацию", 1502, 0, 1532, false, 0, false},
        {b::devs, "_bDEVS", "Оборудование", "Включить/отключить настройку оборудования", 1519, 1504,
         0, true, 0, false},
        {b::strs, "_bSTRS", "Структура", "Включить/отключить настройку структуры", 1520, 1521, 0,
         true, 0, false},
        {b::schema, "_bSCHEMA", "Схемы", "Включить/отключить настройку схем", 1522, 1523, 0, true,
         0, false},
        {b::hint, "_bHINT", "Подсказка", "Включить/отключить всплывающую подсказку", 1501, 1500, 0,
         true, 0, false},
        {b::con, "_bCON", "Подключение", "Включить/отключить соединения с КП", 1505, 1506, 0, true,
         0, false},
        {b::edit, "_bEDIT", "Редактор", "Включить/отключить редактор конфигурации", 1526, 1527, 0,
         true, 0, false},
        {b::editor_grid, "_bEDITOR_GRID", "Параметры",
         "Включить/отключить таблицы параметров в редакторе конфигурации", 1556, 1557, 0, true, 0,
         false},
        {b::mes, "_bMES", "Журнал событий", "Включить/отключить отображение журнала событий", 1528,
         1529, 0, true, 0, false},
        {b::cancel_hand, "_bCANCEL_HAND", "Отменить ручные",
         "Отменить ручной ввод для всех сигналов", 1530, 0, 1531, false, 0, false},
        {b::cvit_all, "_bCVIT_ALL", "Квитировать все", "Квитировать все сигналы", 1533, 0, 1534,
         false, 0, false},
        {b::log, "_bLOG", "Лог-файл", "Включить/отключить отображение лог-файла", 1507, 1508, 0,
         true, 0, false},
        {b::print, "_bPRINT", "Печать", "Печать схемы", 1509, 0, 1549, false, 50, true},
        {b::zoom_in, "_bZOOM_IN", "Увеличить", "Увеличить схему", 1510, 0, 0, false, 2, true},
        {b::zoom_out, "_bZOOM_OUT", "Уменьшить", "Уменьшиить схему", 1511, 0, 0, false, 3, true},
        {b::zoom_x, "_bZOOM_X", "По ширине", "Схема по ширине", 1512, 0, 1550, false, -1, true},
        {b::zoom_y, "_bZOOM_Y", "По высоте", "Схема по высоте", 1513, 0, 1551, false, -2, true},
        {b::zoom_full, "_bZOOM_FULL", "Полностью", "Показать схему полностью", 1514, 0, 1552, false,
         0, true},
        {b::zoom_100, "_bZOOM_100", "Масштаб 100%", "Показать схему в масштабе 100%", 1515, 0, 1553,
         false, 1, true},
        {b::mod_std, "_bMOD_STD", "Стандарт", "Показать стандарт отображения схемы", 1516, 0, 1554,
         false, 51, true},
        {b::scroll_hand, "_bSCROLL_HAND", "Переместить",
         "Укажите точку схемы, которую необходимо показать", 1524, 0, 1555, false, 7, true},
        {b::journal_next, "", "Ниже", "На следующюю строку", 1539, 0, 1541, false, 1, true},
        {b::journal_last, "", "Вниз", "На последнюю строку", 1540, 0, 1542, false, 2, true},
        {b::journal_previous, "", "Выше", "На предыдущую строку", 1543, 0, 1545, false, 3, true},
        {b::journal_first, "", "Вверх", "На первую строку", 1544, 0, 1546, false, 4, true},
    };
    return table;
}

const button_spec& spec_of(toolbar_button button) {
    return toolbar_table()[static_cast<std::size_t>(button)];
}

} // namespace nxkit

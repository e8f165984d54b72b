#include "shell/startup.h"
#include "tests/shell/shell_fixture.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QTranslator>

namespace {

TEST(QtTranslation, QtsOwnButtonsAndDialogsSpeakRussian) {
    QApplication& app = shelltest::app();
    QTranslator* translator = nxkit::load_qt_translation(app);
    ASSERT_NE(translator, nullptr) << "qt6-translations-l10n is not installed";
    QDialogButtonBox box(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().toStdString(), "Отмена");
    EXPECT_EQ(box.button(QDialogButtonBox::Save)->text().toStdString(), "Сохранить");
    // The widget-based file dialog, as the program shows it.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const auto buttons = dialog.findChildren<QDialogButtonBox*>();
    ASSERT_EQ(buttons.size(), 1);
    EXPECT_EQ(buttons[0]->button(QDialogButtonBox::Cancel)->text().toStdString(), "Отмена");
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(QDialogButtonBox(QDialogButtonBox::Cancel)
                  .button(QDialogButtonBox::Cancel)
                  ->text()
                  .toStdString(),
              "Cancel");
}

} // namespace

// The Comm Port Setup dialog on Qt, placed as resource 133 places it.
#include "desktop/comm_setup_qt.h"

#include "desktop/dialog_units_qt.h"
#include "discovery/comm_setup.h"
#include "settings/config.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

void RunCommSetupDialog(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle("Comm Port Setup");
    dialog.setFixedSize(DialogRect(0, 0, 186, 148).size());
    auto* frame = new QGroupBox(&dialog);
    frame->setGeometry(DialogRect(7, 7, 172, 87));
    auto* automatic = new QRadioButton("Auto Find COM Port", &dialog);
    automatic->setGeometry(DialogRect(21, 31, 79, 10));
    auto* fixed = new QRadioButton("Fixed COM Port", &dialog);
    fixed->setGeometry(DialogRect(21, 55, 65, 10));
    auto* list = new QComboBox(&dialog);
    list->setEditable(true);
    list->setGeometry(DialogRect(106, 54, 68, 13));
    auto* note = new QLabel(&dialog);
    note->setGeometry(DialogRect(21, 74, 150, 16));
    note->setWordWrap(true);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setGeometry(DialogRect(69, 127, 50, 14));
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", &dialog);
    cancel->setGeometry(DialogRect(129, 127, 50, 14));

    PortChoices choices{};
    int current = -1;
    int count = ListPortChoices(choices, &current);
    for (int i = 0; i < count; ++i)
        list->addItem(QString::fromLocal8Bit(choices[static_cast<size_t>(i)].label.data()));
    list->setCurrentIndex(current);
    // The list is as wide as the longest name it offers (a by-id name is long), within the dialog.
    list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0));
    note->setText(QString::fromLatin1(CommSetupNote(current).data(),
                                      static_cast<qsizetype>(CommSetupNote(current).size())));
    bool searching = AutoPort.load(std::memory_order_acquire) == 1;
    (searching ? automatic : fixed)->setChecked(true);
    list->setEnabled(!searching);
    QObject::connect(automatic, &QRadioButton::clicked, [list] { list->setEnabled(false); });
    QObject::connect(fixed, &QRadioButton::clicked, [list] { list->setEnabled(true); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, [&] {
        // A name typed into the field is no entry of the list: the port stays as it was.
        int index = list->currentIndex();
        bool listed = index >= 0 && index < count && list->currentText() == list->itemText(index);
        ConfirmCommSetup(automatic->isChecked(),
                         listed ? &choices[static_cast<size_t>(index)] : nullptr);
        dialog.accept();
    });
    dialog.exec();
}

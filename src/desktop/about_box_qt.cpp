// The About box on Qt, placed as dialog 103 places it: the program's version and what the build
// carries, so that a sample firmware image or setup key is never taken for the maker's.
#include "desktop/about_box_qt.h"

#include "desktop/dialog_units_qt.h"
#include "firmware/build_inputs.h"
#include "mq6_version.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <array>
#include <cstdio>

void RunAboutBox(QWidget* owner) {
    QDialog dialog(owner);
    dialog.setWindowTitle("About MQ-6 WB Utility");
    dialog.setFixedSize(DialogRect(0, 0, 300, 124).size());
    auto* icon = new QLabel(&dialog);
    icon->setGeometry(DialogRect(12, 12, 20, 20));
    icon->setPixmap(dialog.windowIcon().pixmap(32, 32));
    auto* name = new QLabel("MQ-6 WB Utility", &dialog);
    name->setGeometry(DialogRect(44, 12, 244, 8));
    std::array<char, 512> facts{};
    int length = std::snprintf(facts.data(), facts.size(), "Version %s\n", MQ6_VERSION_TEXT);
    if (length > 0 && static_cast<size_t>(length) < facts.size())
        FormatBuildInputs(facts.data() + length, facts.size() - static_cast<size_t>(length));
    auto* shown = new QLabel(QString::fromLatin1(facts.data()).trimmed(), &dialog);
    shown->setGeometry(DialogRect(44, 24, 244, 50));
    shown->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    shown->setWordWrap(true);
    shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* about = new QLabel("Live display, output setup and firmware update for the MQ-6 "
                             "two-channel wideband lambda controller.",
                             &dialog);
    about->setGeometry(DialogRect(44, 78, 244, 18));
    about->setWordWrap(true);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setGeometry(DialogRect(125, 102, 50, 14));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    dialog.exec();
}

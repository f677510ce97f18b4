// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: program icon, name and file version.
#include "shell/commands/about_box.h"

#include "shell/window/icons.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>

namespace zelt::shell {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(commandIcon(IconKind::Program).pixmap(32, 32));
    auto* product = new QLabel(QStringLiteral("Zelt 4.2 For Cartography"), this);
    QFont bold = product->font();
    bold.setBold(true);
    product->setFont(bold);
    // The version the program carries; the application object holds it when set by main().
    const QString version = QCoreApplication::applicationVersion().isEmpty()
                                ? QString::fromLatin1(kFileVersion)
                                : QCoreApplication::applicationVersion();
    m_version = new QLabel(QStringLiteral("File Version:") + u' ' + version, this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(product, 0, 1);
    grid->addWidget(m_version, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

int TAboutBox::exec()
{
    adjustSize();
    if (const QScreen* screen = this->screen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    return QDialog::exec();
}

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: program icon, name and file version.
#pragma once

#include <QDialog>

class QLabel;

namespace zelt::shell {

/// File version shown by the About box (and given to the application object).
inline constexpr const char* kFileVersion = "4.2.0.104";

/// `TAboutBox`: caption "About", modal, centred on the screen; shows the program icon,
/// "Zelt 4.2 For Cartography" and "File Version:" with the version. OK closes it.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    /// Centres the box on the screen and shows it modally.
    int exec() override;
    QLabel* versionLabel() const { return m_version; }

private:
    QLabel* m_version = nullptr;
};

}  // namespace zelt::shell

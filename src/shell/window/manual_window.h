// SPDX-License-Identifier: GPL-3.0-or-later
// The manual inside the program: HTML pages in the user's language shown in a browser window,
// opened by Help > Manual (F1) and by F1 in a dialog, at the page that explains that dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QTextBrowser;

namespace zelt::shell {

/// Where the manual's language folders are looked for, in order: `$ZELT_MANUAL_DIR`, `manual`
/// beside the program (a build tree), `../share/doc/zelt/manual` from the program's folder (an
/// installed tree, wherever it was unpacked) and the folder configured at build time.
QStringList manualFolders();
/// The folder of the manual in the first of `languages` (such as "de", "ru-RU") it is written in,
/// else the English one; empty when no manual is found.
QString manualLanguageFolder(const QStringList& languages);
/// The manual page (file name, optionally with "#anchor") that explains the dialog or window
/// named `objectName`; "index.html" when none is known.
QString manualPageFor(const QString& objectName);

/// A non-modal window that shows the manual, with Back, Forward and Contents.
class ManualWindow : public QDialog {
    Q_OBJECT
public:
    explicit ManualWindow(QWidget* parent = nullptr);
    /// Shows `page` ("index.html", "check.html") of the manual in the user's language; says so
    /// in the window when the manual is not installed.
    void showPage(const QString& page);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

/// Opens F1 help for the application: F1 in a dialog shows that dialog's page, elsewhere the
/// contents. Installed once on the application by the main window.
class ManualShortcut : public QObject {
    Q_OBJECT
public:
    explicit ManualShortcut(QWidget* mainWindow);
    /// Shows `page` in the one manual window, creating it at first use.
    void show(const QString& page);
    ManualWindow* window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_mainWindow;
    ManualWindow* m_window = nullptr;
};

}  // namespace zelt::shell

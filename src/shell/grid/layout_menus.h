// SPDX-License-Identifier: GPL-3.0-or-later
// The "Grids" menu and the "Cols" drop-down: saving, loading and showing grid columns.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QAction;

namespace zelt::shell {

class TMainForm;

/// Commands of the "Grids" menu ("Save current to custom file", "Standart", "Altimeter", "%",
/// "All", "Custom...") and the "Cols" button's drop-down `KolonkuMenu`, on the grid of the
/// active document window. Layout errors are shown in the error box; a failed load leaves the
/// grid's columns as they were.
class LayoutMenus : public QObject {
    Q_OBJECT
public:
    /// Asks for a layout file: the save dialog (`forSave`) or the open dialog; empty on cancel.
    using FilePrompt = std::function<QString(QWidget* parent, bool forSave)>;

    explicit LayoutMenus(TMainForm& main);

    /// Replaces the file dialogs (tests).
    void setFilePrompt(FilePrompt prompt) { m_filePrompt = std::move(prompt); }
    /// Where a fixed layout is looked for: beside the program, then in the installed data folder.
    /// Empty when neither holds `fileName`.
    static QString fixedLayoutPath(const QString& fileName);
    /// Replaces the folders fixedLayoutPath looks in (tests); an empty list restores them.
    static void setFixedLayoutFolders(const QStringList& folders);

public slots:
    void saveCustom();           ///< "Save current to custom file"
    void loadStandard();         ///< "Standart": std.ing
    void loadAltimeter();        ///< "Altimeter": abs.ing
    void loadPercent();          ///< "%": procent.ing
    void showAllColumns();       ///< "All"
    void loadCustom();           ///< "Custom..."
    void rebuildColumnMenu();    ///< fills `KolonkuMenu` before it drops down
    void ColumnMenuItemClick();  ///< toggles the column of the clicked item

private:
    void loadFixed(const QString& fileName);
    void loadFrom(const QString& path);

    TMainForm& m_main;
    FilePrompt m_filePrompt;
};

/// Creates the menus' commands as a child of `main` and connects its actions.
LayoutMenus* installLayoutMenus(TMainForm& main);

}  // namespace zelt::shell

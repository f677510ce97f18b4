// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the main window's placement and its toolbars in the per-user settings store.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <stdexcept>

class QMainWindow;
class QSettings;
class QToolBar;

namespace zelt::shell {

/// A failure of the settings store; what() is the message shown (UTF-8):
/// "Failed to get data for '%s'", "Invalid data type for '%s'", "Failed to set data for '%s'".
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// `TRegSave`: saves and restores `CurrForm`'s placement and toolbars under
/// "Software/<ProgName>" of the settings store (RegistryStore). Window values: "Align" (string
/// "wsNormal"/"wsMinimized"/"wsMaximized"), "Left", "Top", "Width", "Height" (integers), "Dir"
/// (string, written only). Toolbar key "Software/<ProgName>/<toolbar name>": "DockedTo"
/// (string: dock component name, empty when floating), "DockPos", "DockRow", "Left", "Width",
/// "Height" (the toolbar's top coordinate), "Visible" (integers). Each operation opens the store,
/// works and closes it; failures throw RegistryError and leave what was applied so far.
/// While no form is set, every operation does nothing.
class TRegSave : public QObject {
    Q_OBJECT
public:
    explicit TRegSave(QObject* parent = nullptr);

    void setCurrForm(QMainWindow* form) { m_form = form; }
    QMainWindow* CurrForm() const { return m_form; }
    /// Key name under "Software"; setting an empty text sets "A1".
    void setProgName(const QString& name);
    QString ProgName() const { return m_progName; }
    /// "Software/<ProgName>".
    QString formKey() const;

    void RestoreForm();
    void SaveForm();
    void RestoreToolbar(QToolBar* toolbar);
    void SaveToolbar(QToolBar* toolbar);
    /// Every toolbar that is a direct child of the form, from the last child to the first.
    void RestoreToolbars();
    void SaveToolbars();

private:
    QList<QToolBar*> toolbarsLastToFirst() const;
    void restoreToolbarDock(QSettings& store, QToolBar* toolbar);
    void restoreToolbarPlace(QSettings& store, QToolBar* toolbar);

    QPointer<QMainWindow> m_form;
    QString m_progName = QStringLiteral("Zelt");
};

}  // namespace zelt::shell

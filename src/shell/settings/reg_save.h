// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the main window's placement and its toolbars in the per-user settings store.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

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

/// What is known about a window when its placement is saved.
struct PlacementFacts {
    Qt::WindowStates state;
    QRect frameGeometry;          ///< QWidget::pos() (frame corner) with the client size
    QRect normalGeometry;         ///< QWidget::normalGeometry(): client rectangle of the normal state
    QPoint normalFrameOffset;     ///< client corner minus frame corner, last seen in the normal state
    /// The normal place the window was restored to while it has not been shown in the normal
    /// state since (Qt's normal geometry then still holds that place without its frame).
    std::optional<QRect> restoredNormal;
};
/// The placement to store: for a normal window its frame corner and client size; for a
/// maximised or minimised one the same of its normal state, so that it comes back where the
/// user had it. The frame offset of the maximised state (often only a title bar) is never
/// used: subtracting it from the normal geometry moved the window by that much per session.
QRect placementToStore(const PlacementFacts& facts);

/// `TRegSave`: saves and restores `CurrForm`'s placement and toolbars under
/// "Software/<ProgName>" of the settings store (RegistryStore). Window values: "Align" (string
/// "wsNormal"/"wsMinimized"/"wsMaximized"), "Left", "Top", "Width", "Height" (integers), "Dir"
/// (string, written only). Toolbar key "Software/<ProgName>/<toolbar name>": "DockedTo"
/// (string: dock component name, empty when floating), "DockPos", "DockRow", "Left", "Width",
/// "Height" (the toolbar's top coordinate), "Visible" (integers). Each operation opens the store,
/// works and closes it; a save sets all its values first and then writes the store once, so a
/// store that cannot be written keeps none of them (RegistryError naming the save's first
/// value). A failed restore throws RegistryError and leaves what was applied so far.
/// While no form is set, every operation does nothing.
class TRegSave : public QObject {
    Q_OBJECT
public:
    explicit TRegSave(QObject* parent = nullptr);

    void setCurrForm(QMainWindow* form);
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
    /// SaveForm, SaveToolbars and the values added by alsoSave as one save: the store is
    /// written once.
    void SaveFormAndToolbars();
    /// Adds values that SaveFormAndToolbars sets with the form's (a dock's place, say): `save`
    /// sets them on the store, whose group is its root.
    void alsoSave(std::function<void(QSettings&)> save);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Runs `work` on the store of the save under way. A save that is not part of another opens
    /// the store, and writes it once after `work`.
    void saving(const std::function<void(QSettings&)>& work);
    /// Sets one value of the save under way (it reaches the file when the save ends).
    void setValue(QSettings& store, const QString& name, const QVariant& value);
    void saveFormValues(QSettings& store);
    void saveToolbarValues(QSettings& store, QToolBar* toolbar);
    QList<QToolBar*> toolbarsLastToFirst() const;
    void restoreToolbarDock(QSettings& store, QToolBar* toolbar);
    void restoreToolbarPlace(QSettings& store, QToolBar* toolbar);
    void remapFloatingToolbars();

    QPointer<QMainWindow> m_form;
    /// The form as a plain object, compared only: events still arrive while it is destroyed.
    const QObject* m_formObject = nullptr;
    std::optional<QRect> m_restoredNormal;
    std::optional<QPoint> m_normalFrameOffset;
    /// Floating toolbars were restored while the form was not on screen.
    bool m_floatingBeforeShow = false;
    QString m_progName = QStringLiteral("Zelt");
    /// The store of the save under way (null between saves) and the first value it set.
    QSettings* m_saving = nullptr;
    QString m_firstValue;
    std::vector<std::function<void(QSettings&)>> m_alsoSave;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The map export command: the export dialog, the target map's save-file dialog and the run.
#pragma once

#include "export/route_export.h"
#include "export/t_zelt.h"

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace zelt::shell {

class TMainForm;

/// The export dialog (`ExportDlg`): what to draw. Its controls keep the names of the form;
/// the three lists go back to "Fill Height", "Altimeter" and "FillHeight" every time it shows,
/// while the radio buttons and check boxes keep their state.
class TExportDlg : public QDialog {
    Q_OBJECT
public:
    /// The routine and the parameters the controls choose.
    struct Choice {
        bool withContours = false;               ///< the contour routine instead of the plain one
        bool placeOnKnownPoints = false;         ///< place the route on the table's known points
        zelt::mapexport::ExportParams params;
    };
    using Runner = std::function<void(const Choice&)>;

    explicit TExportDlg(QWidget* parent = nullptr);

    /// Called by OK with the choice, before the dialog closes.
    void setRunner(Runner runner) { m_runner = std::move(runner); }
    /// The choice the controls make now.
    Choice choice() const;

    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QGroupBox* GroupBox1 = nullptr;        ///< frames the "Only way" row
    QRadioButton* RadioButton1 = nullptr;  ///< "Only way"
    QCheckBox* CheckBox1 = nullptr;        ///< "with Absolute heights"
    QComboBox* ComboBox1 = nullptr;        ///< "Altimeter", "Fill Height", "Recalc"
    QGroupBox* GroupBox2 = nullptr;        ///< frames the "Way and point of height" block
    QRadioButton* RadioButton2 = nullptr;  ///< "Way and point of height"
    QComboBox* ComboBox3 = nullptr;        ///< "frequency": "Every 5", "Every 10", "Altimeter"
    QComboBox* ComboBox4 = nullptr;        ///< "field": "FillHeight", "Recalc", "Altimeter"
    QCheckBox* CheckBox2 = nullptr;        ///< "with contours"
    /// "Place on known points": off by default; enabled only while the table has known points.
    QCheckBox* PlaceOnKnownPoints = nullptr;
    /// "Horizontal leg lengths": each walked length reduced by its slope; set from the route
    /// view's choice every time the dialog shows.
    QCheckBox* HorizontalLengths = nullptr;

public slots:
    void FormActivate();
    void CheckBox1Click();
    void OKBtnClick();
    void CancelBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void updateControls();
    Runner m_runner;
    QLabel* m_frequencyLabel = nullptr;
    QLabel* m_fieldLabel = nullptr;
};

/// The "&Export" command of the main window. Owns the route-geometry object `TZelt` and the
/// export dialog (both made once at start-up and reused).
class ExportCommand : public QObject {
    Q_OBJECT
public:
    explicit ExportCommand(TMainForm& main);

    TExportDlg* ExportDlg() const { return m_dialog; }
    zelt::mapexport::TZelt& zelt() { return m_zelt; }

    /// Asks for the target map; returns an empty text when the user cancels. The default shows
    /// the save-file dialog; tests put their own chooser here.
    using MapChooser = std::function<QString(QWidget* parent)>;
    void setMapChooser(MapChooser chooser) { m_chooser = std::move(chooser); }

    /// The save-file dialog of the export: its title, filter and default suffix, no question
    /// before an existing file is chosen.
    static QString askTargetMap(QWidget* parent);

public slots:
    /// Shows the export dialog modally when a document is open.
    void Export1Execute();

private:
    void run(const TExportDlg::Choice& choice);

    TMainForm& m_main;
    TExportDlg* m_dialog = nullptr;
    zelt::mapexport::TZelt m_zelt;
    MapChooser m_chooser = &ExportCommand::askTargetMap;
};

/// The status line of a finished export: "Exported 41 rows into MAP: 12 labels, a route line of
/// 42 points".
QString exportSummary(const zelt::mapexport::ExportResult& result, const QString& map);

/// Creates the export command as a child of `main` and connects the "&Export" action.
ExportCommand* installExportCommand(TMainForm& main);

}  // namespace zelt::shell

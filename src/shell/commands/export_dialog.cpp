// SPDX-License-Identifier: GPL-3.0-or-later
// The export dialog, the mapping of its choices to an export routine, and the export run's window side.
#include "shell/commands/export_dialog.h"

#include "base/diagnostic.h"
#include "document/known_points.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/route/route_dock.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <memory>

namespace zelt::shell {

using zelt::mapexport::HeightField;

TExportDlg::TExportDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ExportDlg"));
    setWindowTitle(QStringLiteral("Export"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);

    GroupBox1 = new QGroupBox(this);
    RadioButton1 = new QRadioButton(QStringLiteral("Only way"), GroupBox1);
    RadioButton1->setChecked(true);
    CheckBox1 = new QCheckBox(QStringLiteral("with Absolute heights"), GroupBox1);
    ComboBox1 = new QComboBox(GroupBox1);
    ComboBox1->addItems({QStringLiteral("Altimeter"), QStringLiteral("Fill Height"), QStringLiteral("Recalc")});
    ComboBox1->setEnabled(false);
    auto* row1 = new QHBoxLayout(GroupBox1);
    row1->addWidget(RadioButton1);
    row1->addWidget(CheckBox1);
    row1->addWidget(ComboBox1);

    GroupBox2 = new QGroupBox(this);
    RadioButton2 = new QRadioButton(QStringLiteral("Way and point of height"), GroupBox2);
    ComboBox3 = new QComboBox(GroupBox2);
    ComboBox3->addItems({QStringLiteral("Every 5"), QStringLiteral("Every 10"), QStringLiteral("Altimeter")});
    ComboBox4 = new QComboBox(GroupBox2);
    ComboBox4->addItems({QStringLiteral("FillHeight"), QStringLiteral("Recalc"), QStringLiteral("Altimeter")});
    CheckBox2 = new QCheckBox(QStringLiteral("with contours"), GroupBox2);
    auto* block = new QGridLayout(GroupBox2);
    m_frequencyLabel = new QLabel(QStringLiteral("frequency"), GroupBox2);
    m_fieldLabel = new QLabel(QStringLiteral("field"), GroupBox2);
    block->addWidget(RadioButton2, 0, 0, 1, 2);
    block->addWidget(m_frequencyLabel, 1, 0);
    block->addWidget(ComboBox3, 1, 1);
    block->addWidget(m_fieldLabel, 2, 0);
    block->addWidget(ComboBox4, 2, 1);
    block->addWidget(CheckBox2, 3, 0, 1, 2);

    // The radio buttons sit in different frames; they still exclude each other.
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        RadioButton2->setChecked(!on);
        updateControls();
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        RadioButton1->setChecked(!on);
        updateControls();
    });
    connect(CheckBox1, &QCheckBox::clicked, this, &TExportDlg::CheckBox1Click);
    connect(OKBtn, &QPushButton::clicked, this, &TExportDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TExportDlg::CancelBtnClick);

    PlaceOnKnownPoints = new QCheckBox(QStringLiteral("Place on known points"), this);
    PlaceOnKnownPoints->setObjectName(QStringLiteral("PlaceOnKnownPoints"));
    PlaceOnKnownPoints->setEnabled(false);
    HorizontalLengths = new QCheckBox(QStringLiteral("Horizontal leg lengths (walked lengths reduced by their slope)"), this);
    HorizontalLengths->setObjectName(QStringLiteral("HorizontalLengths"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addWidget(PlaceOnKnownPoints);
    layout->addWidget(HorizontalLengths);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, RadioButton1);
    setTabOrder(RadioButton1, CheckBox1);
    setTabOrder(CheckBox1, ComboBox1);
    setTabOrder(ComboBox1, RadioButton2);
    setTabOrder(RadioButton2, ComboBox3);
    setTabOrder(ComboBox3, ComboBox4);
    setTabOrder(ComboBox4, CheckBox2);
    setTabOrder(CheckBox2, PlaceOnKnownPoints);
    setTabOrder(PlaceOnKnownPoints, HorizontalLengths);
    updateControls();
}

void TExportDlg::updateControls()
{
    // Only the controls of the chosen routine can be changed: the others would do nothing.
    const bool onlyWay = RadioButton1->isChecked();
    CheckBox1->setEnabled(onlyWay);
    ComboBox1->setEnabled(onlyWay && CheckBox1->isChecked());
    for (QWidget* w : {static_cast<QWidget*>(m_frequencyLabel), static_cast<QWidget*>(ComboBox3),
                       static_cast<QWidget*>(m_fieldLabel), static_cast<QWidget*>(ComboBox4),
                       static_cast<QWidget*>(CheckBox2)})
        w->setEnabled(!onlyWay);
}

void TExportDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (parentWidget() == nullptr || !isVisible())
        return;
    // Centred on the screen, as the form asks.
    if (const QScreen* screen = parentWidget()->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TExportDlg::FormActivate()
{
    ComboBox1->setCurrentIndex(1);   // "Fill Height"
    ComboBox3->setCurrentIndex(2);   // "Altimeter"
    ComboBox4->setCurrentIndex(0);   // "FillHeight"
}

void TExportDlg::CheckBox1Click() { updateControls(); }

TExportDlg::Choice TExportDlg::choice() const
{
    Choice c;
    c.placeOnKnownPoints = PlaceOnKnownPoints->isEnabled() && PlaceOnKnownPoints->isChecked();
    auto& p = c.params;
    if (HorizontalLengths->isChecked())
        p.legLengths = zelt::compute::LegLengths::Horizontal;
    if (RadioButton1->isChecked()) {
        p.Frequency = 99;
        if (CheckBox1->isChecked()) {
            p.WithAbsoluteHeights = true;
            const int i = ComboBox1->currentIndex();
            p.heightField = i == 0 ? HeightField::Altimeter : i == 2 ? HeightField::Recalc : HeightField::FillHeight;
        }
        return c;
    }
    c.withContours = CheckBox2->isChecked();
    const int f = ComboBox3->currentIndex();
    p.Frequency = f == 1 ? 10 : 5;
    p.EveryNth = f == 0 || f == 1;
    const int field = ComboBox4->currentIndex();
    p.heightField = field == 1 ? HeightField::Recalc : field == 2 ? HeightField::Altimeter : HeightField::FillHeight;
    return c;
}

void TExportDlg::OKBtnClick()
{
    // The dialog goes first: the map's file dialog and the messages of the run must not open
    // underneath it.
    const Choice c = choice();
    accept();
    if (m_runner)
        m_runner(c);
}

void TExportDlg::CancelBtnClick() { reject(); }

// --- the command ------------------------------------------------------------------------------

QString exportSummary(const zelt::mapexport::ExportResult& result, const QString& map)
{
    const auto counted = [](int n, const char* one, const char* many) -> QString {
        return QString::number(n) + u' ' + QString::fromLatin1(n == 1 ? one : many);
    };
    return QStringLiteral("Exported ") + counted(result.rows, "row", "rows") + QStringLiteral(" into ") + map
           + QStringLiteral(": ") + counted(result.labels, "label", "labels") + QStringLiteral(", a route line of ")
           + counted(result.routePoints, "point", "points");
}

ExportCommand::ExportCommand(TMainForm& main) : QObject(&main), m_main(main)
{
    setObjectName(QStringLiteral("ExportCommand"));
    m_dialog = new TExportDlg(&main);
    m_dialog->setRunner([this](const TExportDlg::Choice& c) { run(c); });
}

QString ExportCommand::askTargetMap(QWidget* parent)
{
    QFileDialog dialog(parent,
                       QStringLiteral("Select Exists (Closed in OCAD) OCD File For Export Way in File or Enter New File Name"),
                       QString(), QStringLiteral("OCAD7 files (*.ocd)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ocd"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void ExportCommand::Export1Execute()
{
    if (!m_main.activeDocument())
        return;
    m_dialog->FormActivate();
    // The placement is offered only for a table with known points; a damaged file offers it
    // too, so that choosing it reports the damage instead of silently exporting unplaced.
    zelt::document::DocumentKnownPoints& known = m_main.activeDocument()->document().knownPoints;
    known.reloadIfChanged();   // another program may have changed them
    const bool hasPoints = !known.points().empty() || !known.damage().empty();
    m_dialog->PlaceOnKnownPoints->setEnabled(hasPoints);
    m_dialog->HorizontalLengths->setChecked(chosenLegLengths(m_main) == zelt::compute::LegLengths::Horizontal);
    m_dialog->exec();
}

void ExportCommand::run(const TExportDlg::Choice& choice)
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    const QString map = m_chooser(&m_main);
    if (map.isEmpty())
        return;

    // A long table shows its progress; the window blocks input but stays painted.
    std::unique_ptr<QProgressDialog> progress;
    const auto onRow = [&](int done, int total) {
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(QStringLiteral("Exporting the route..."), QString(), 0, total, &m_main);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(400);
            progress->setCancelButton(nullptr);
        }
        progress->setValue(done);
    };
    try {
        const std::filesystem::path target = map.toStdString();
        std::optional<zelt::document::KnownPoints> known;
        if (choice.placeOnKnownPoints) {
            zelt::document::DocumentKnownPoints& points = child->document().knownPoints;
            points.reloadIfChanged();
            if (!points.damage().empty())
                throw zelt::document::KnownPointsError(points.damage());
            known = points.points();
        }
        const zelt::document::KnownPoints* placeOn = known ? &*known : nullptr;
        const auto result = choice.withContours
            ? zelt::mapexport::ExportRouteWithContours(child->document(), m_zelt, target, choice.params, onRow, placeOn)
            : zelt::mapexport::ExportRoute(child->document(), m_zelt, target, choice.params, onRow, placeOn);
        progress.reset();
        // Said as the command-line tool says it: what was written, and where.
        QString status = exportSummary(result, QDir::toNativeSeparators(QFileInfo(map).absoluteFilePath()));
        if (result.warnings.size() == 1)
            status += QStringLiteral("; ") + QString::fromStdString(zelt::document::diagnosticLine(result.warnings.front()));
        m_main.showStatusFor(child, status);
        if (result.warnings.size() > 1)
            m_main.showDiagnostics(result.warnings, QStringLiteral("Export"), child);
    } catch (const std::exception& e) {
        progress.reset();
        TMDIChild::showError(&m_main, QString::fromUtf8(e.what()));
    }
    progress.reset();
    child->refreshRows();
}

ExportCommand* installExportCommand(TMainForm& main)
{
    auto* command = new ExportCommand(main);
    QObject::connect(main.actions().Export1, &QAction::triggered, command, &ExportCommand::Export1Execute);
    return command;
}

}  // namespace zelt::shell

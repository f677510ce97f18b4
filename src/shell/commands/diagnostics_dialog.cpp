// SPDX-License-Identifier: GPL-3.0-or-later
// The non-modal list of the notes and warnings a command left: row, field, text.
#include "shell/commands/diagnostics_dialog.h"

#include "shell/window/mdi_child.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zelt::shell {

namespace {

enum Column { kRow, kField, kText };

/// The entry's index into the diagnostics, kept on the item.
constexpr int kIndexRole = Qt::UserRole;

}  // namespace

DiagnosticsDialog::DiagnosticsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DiagnosticsDialog"));
    setModal(false);
    resize(560, 240);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("DiagnosticsList"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({QStringLiteral("Row"), QStringLiteral("Field"), QStringLiteral("Text")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setWordWrap(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { goToEntry(item); });

    auto* buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::ApplyRole);
    m_apply->setAutoDefault(false);
    m_apply->setToolTip(QStringLiteral("Put the suggested value into its cell (one step of Undo)"));
    m_apply->hide();
    m_copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
    m_copy->setAutoDefault(false);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setAutoDefault(false);
    connect(m_copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(text()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    connect(m_apply, &QPushButton::clicked, this, [this] {
        const int index = currentEntry();
        if (index >= 0 && m_applyHandler && m_document && !m_document->isClosed())
            m_applyHandler(m_document, static_cast<std::size_t>(index));   // may fill the list anew
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, &DiagnosticsDialog::updateApply);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

void DiagnosticsDialog::setDiagnostics(const std::vector<zelt::document::Diagnostic>& diagnostics,
                                       const QString& context, TMDIChild* document)
{
    m_diagnostics = diagnostics;
    m_document = document;
    m_applicable.clear();
    m_applyHandler = nullptr;
    setWindowTitle(context.isEmpty() ? QStringLiteral("Notes and warnings") : context);
    m_list->clear();
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    const QIcon note = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    for (std::size_t i = 0; i < m_diagnostics.size(); ++i) {
        const zelt::document::Diagnostic& d = m_diagnostics[i];
        auto* item = new QTreeWidgetItem(m_list);
        item->setIcon(kRow, d.severity == zelt::document::Severity::Warning ? warning : note);
        item->setText(kRow, d.row > 0 ? QString::number(d.row) : QString());
        item->setText(kField, QString::fromStdString(d.field));
        item->setText(kText, QString::fromStdString(d.text));
        item->setToolTip(kText, QString::fromStdString(zelt::document::diagnosticMessage(d)));
        item->setData(kRow, kIndexRole, static_cast<int>(i));
    }
    m_list->resizeColumnToContents(kRow);
    m_list->resizeColumnToContents(kField);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    updateApply();
}

void DiagnosticsDialog::offerApply(std::vector<bool> applicable, ApplyHandler handler)
{
    m_applicable = std::move(applicable);
    m_applyHandler = std::move(handler);
    updateApply();
}

int DiagnosticsDialog::currentEntry() const
{
    const QTreeWidgetItem* item = m_list->currentItem();
    return item ? item->data(kRow, kIndexRole).toInt() : -1;
}

void DiagnosticsDialog::updateApply()
{
    const bool offered = m_applyHandler && std::find(m_applicable.begin(), m_applicable.end(), true) != m_applicable.end();
    m_apply->setVisible(offered);
    const int index = currentEntry();
    m_apply->setEnabled(offered && index >= 0 && static_cast<std::size_t>(index) < m_applicable.size()
                        && m_applicable[static_cast<std::size_t>(index)] && m_document && !m_document->isClosed());
}

QString DiagnosticsDialog::text() const
{
    QStringList lines;
    for (const zelt::document::Diagnostic& d : m_diagnostics)
        lines << QString::fromStdString(zelt::document::diagnosticMessage(d));
    return lines.join(QLatin1Char('\n'));
}

void DiagnosticsDialog::goToEntry(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const int index = item->data(kRow, kIndexRole).toInt();
    if (index < 0 || index >= static_cast<int>(m_diagnostics.size()))
        return;
    const zelt::document::Diagnostic& d = m_diagnostics[static_cast<std::size_t>(index)];
    // The document may have been closed since the list was filled; then there is nowhere to go.
    if (d.row <= 0 || !m_document || m_document->isClosed())
        return;
    m_document->goToRow(d.row, QString::fromStdString(d.field));
}

}  // namespace zelt::shell

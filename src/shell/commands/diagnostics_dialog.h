// SPDX-License-Identifier: GPL-3.0-or-later
// The non-modal list of the notes and warnings a command left: row, field, text.
#pragma once

#include "base/diagnostic.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>
#include <vector>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zelt::shell {

class TMDIChild;

/// Lists the diagnostics of one command, one entry each (row, field, text; the severity as its
/// icon). Activating an entry that names a row makes that row current in the document the
/// diagnostics are about; "Copy" puts every entry on the clipboard as one line each. The main
/// window owns one and fills it again for every command that leaves several diagnostics.
class DiagnosticsDialog : public QDialog {
    Q_OBJECT
public:
    explicit DiagnosticsDialog(QWidget* parent = nullptr);

    /// Replaces the entries. `context` names the command (the window title); `document` is the
    /// window whose rows the entries name (may be null).
    void setDiagnostics(const std::vector<zelt::document::Diagnostic>& diagnostics, const QString& context,
                        TMDIChild* document);

    /// What "Apply" does with the entry at `index` (into the diagnostics given) of `document`.
    using ApplyHandler = std::function<void(TMDIChild* document, std::size_t index)>;
    /// Offers "Apply" for the entries `applicable` marks (by index), while such an entry is the
    /// current one and its document is open; the next setDiagnostics withdraws it.
    void offerApply(std::vector<bool> applicable, ApplyHandler handler);

    /// The window whose rows the entries name (null once closed).
    TMDIChild* document() const { return m_document; }
    QTreeWidget* list() const { return m_list; }
    QPushButton* copyButton() const { return m_copy; }
    QPushButton* applyButton() const { return m_apply; }
    /// Every entry as the clipboard receives it, one line each.
    QString text() const;

private:
    void goToEntry(QTreeWidgetItem* item);
    int currentEntry() const;
    void updateApply();

    QTreeWidget* m_list = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_apply = nullptr;
    std::vector<zelt::document::Diagnostic> m_diagnostics;
    std::vector<bool> m_applicable;
    ApplyHandler m_applyHandler;
    QPointer<TMDIChild> m_document;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// The non-modal list of the notes and warnings a command left: row, field, text.
#pragma once

#include "base/diagnostic.h"

#include <QDialog>
#include <QPointer>
#include <QString>

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

    QTreeWidget* list() const { return m_list; }
    QPushButton* copyButton() const { return m_copy; }
    /// Every entry as the clipboard receives it, one line each.
    QString text() const;

private:
    void goToEntry(QTreeWidgetItem* item);

    QTreeWidget* m_list = nullptr;
    QPushButton* m_copy = nullptr;
    std::vector<zelt::document::Diagnostic> m_diagnostics;
    QPointer<TMDIChild> m_document;
};

}  // namespace zelt::shell

// SPDX-License-Identifier: GPL-3.0-or-later
// Text export, spreadsheet export and paste from the clipboard, on the active document window.
#include "shell/commands/interchange_commands.h"

#include "interchange/paste.h"
#include "interchange/spreadsheet_export.h"
#include "shell/window/main_form.h"
#include "shell/commands/document_change.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>

#include <exception>

namespace zelt::shell {

namespace {

QString fromUtf8(const char* text) { return QString::fromUtf8(text); }

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

/// The save dialog of the text export: resizable, asks before replacing a file.
QString textSaveDialog(QWidget* parent, const QString& initialName)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    dialog.selectFile(initialName);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

InterchangeCommands::InterchangeCommands(TMainForm& main)
    : QObject(&main), m_main(main), m_savePrompt(textSaveDialog),
      m_urlOpener([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("InterchangeCommands"));
}

QString InterchangeCommands::workbookFolder() const
{
    if (!m_workbookFolder.isEmpty())
        return m_workbookFolder;
    // A folder the user finds: the documents folder, not a hidden one of the program.
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return documents + QStringLiteral("/Zelt Workbooks");
}

void InterchangeCommands::setWorkbookFolder(const QString& folder)
{
    m_workbookFolder = folder;
    m_workbooks.reset();
}

QString InterchangeCommands::askTextFile()
{
    const QString chosen = m_savePrompt(&m_main, m_lastTextName);
    if (!chosen.isEmpty())
        m_lastTextName = chosen;
    return chosen;
}

void InterchangeCommands::exportText(zelt::interchange::TextColumns which)
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    const QString path = askTextFile();
    if (path.isEmpty())
        return;
    child->commitEditor();
    try {
        auto& doc = child->document();
        zelt::interchange::exportTextFile(doc.table, doc.columns, which, toPath(path));
    } catch (const std::exception& e) {
        TMDIChild::showError(&m_main, fromUtf8(e.what()));
    }
}

void InterchangeCommands::ToTXTFile1Click()
{
    exportText(zelt::interchange::TextColumns::AllFields);
}

void InterchangeCommands::ToTXTFilewithonlyvisiblecolumns1Click()
{
    exportText(zelt::interchange::TextColumns::VisibleColumns);
}

void InterchangeCommands::ToMic1Click()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    child->commitEditor();
    if (!m_workbooks)
        m_workbooks.emplace(zelt::interchange::XlsxWriter::inFolder(toPath(workbookFolder())));
    auto& doc = child->document();
    m_workbooks->setNumberFormat(doc.table.numberFormat());
    QString error;
    try {
        zelt::interchange::exportToSpreadsheet(doc.table, doc.columns, *m_workbooks);
    } catch (const std::exception& e) {
        error = fromUtf8(e.what());
    }
    // Cells written before an error stay in the workbook, as they would in the spreadsheet.
    QString saved;
    try {
        if (!m_workbooks->workbookPath().empty())
            saved = QString::fromStdString(m_workbooks->save().string());
    } catch (const std::exception& e) {
        if (error.isEmpty())
            error = fromUtf8(e.what());
    }
    child->refreshRows();
    if (!saved.isEmpty()) {
        m_lastWorkbook = saved;
        const QString where = QDir::toNativeSeparators(saved);
        m_main.showStatusFor(child, QStringLiteral("Table exported to the workbook ") + where);
        // Said where it went, and opened only when the user wants it.
        if (error.isEmpty()) {
            QMessageBox box(QMessageBox::Question, applicationTitle(),
                            QStringLiteral("The table was exported to the workbook\n%1\n\nOpen it with the spreadsheet "
                                           "program?").arg(where),
                            QMessageBox::Yes | QMessageBox::No, &m_main);
            box.setDefaultButton(QMessageBox::Yes);
            if (box.exec() == QMessageBox::Yes && !m_urlOpener(QUrl::fromLocalFile(saved)))
                error = QStringLiteral("The table was exported to %1, but no spreadsheet program could be started "
                                       "to open it.").arg(where);
        }
    }
    if (!error.isEmpty())
        TMDIChild::showError(&m_main, error);
}

void InterchangeCommands::ToolbarPasteDownClick()
{
    const QString text = QGuiApplication::clipboard()->text();
    TMDIChild* child = m_main.activeDocument();
    if (text.isEmpty() || !child)
        return;
    child->commitEditor();
    try {
        const UndoStep step(child, QStringLiteral("Paste"));
        runAsChange(child->session(), "paste", [&] {
            return zelt::interchange::pasteColumn(child->Table1(), child->selectedFieldName().toStdString(),
                                                  text.toStdString(), child->Table1().decimalSeparator());
        });
    } catch (const std::exception& e) {
        child->refreshRows();
        TMDIChild::showError(&m_main, fromUtf8(e.what()));
        return;
    }
    child->refreshRows();
}

InterchangeCommands* installInterchangeCommands(TMainForm& main)
{
    auto* commands = new InterchangeCommands(main);
    const MainActions& a = main.actions();
    QObject::connect(a.ToTXTFile1, &QAction::triggered, commands, &InterchangeCommands::ToTXTFile1Click);
    QObject::connect(a.ToTXTFileVisible1, &QAction::triggered, commands,
                     &InterchangeCommands::ToTXTFilewithonlyvisiblecolumns1Click);
    QObject::connect(a.ToMic1, &QAction::triggered, commands, &InterchangeCommands::ToMic1Click);
    QObject::connect(a.PasteFromExcel1, &QAction::triggered, commands, &InterchangeCommands::ToolbarPasteDownClick);
    return commands;
}

}  // namespace zelt::shell

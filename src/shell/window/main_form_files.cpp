// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the file commands and bringing a table into a document window.
#include "shell/window/main_form.h"

#include "document/document_files.h"
#include "interchange/layout_stream.h"
#include "paradox/code_page.h"
#include "shell/window/icons.h"
#include "shell/window/mdi_child.h"
#include "shell/window/undo_commands.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTableView>
#include <QUndoStack>

#include <filesystem>

namespace zelt::shell {
namespace {

std::filesystem::path toPath(const QString& s)
{
    return std::filesystem::path(s.toStdU16String());
}

QString fromPath(const std::filesystem::path& p)
{
    return QString::fromStdU16String(p.u16string());
}

QString defaultPrompt(QWidget* parent, bool forSave, const QString& title, const QString& folder)
{
    QFileDialog dialog(parent);
    dialog.setDefaultSuffix(QStringLiteral("db"));
    dialog.setDirectory(folder.isEmpty() ? QDir::currentPath() : folder);
    if (forSave) {
        // The save dialog of tables: no question before replacing an existing file.
        dialog.setWindowTitle(title.isEmpty() ? QStringLiteral("Save As") : title);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QStringLiteral("db (*.db)"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setWindowTitle(QStringLiteral("Open File..."));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilter(QStringLiteral("Paradocks DB files (*.db)"));
        dialog.selectFile(QStringLiteral("*.db"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

/// A folder this user may create files in.
bool writableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    return !folder.isEmpty() && info.isDir() && info.isWritable();
}

}  // namespace

QString TMainForm::askTablePath(bool forSave, const QString& title)
{
    // Saving starts beside the active table; opening where the user last was.
    QString folder = m_lastFolder;
    if (forSave)
        if (const TMDIChild* child = activeDocument())
            folder = QFileInfo(child->tablePath()).absolutePath();
    const QString path = m_pathPrompt ? m_pathPrompt(this, forSave) : defaultPrompt(this, forSave, title, folder);
    // The file dialogs leave the process in the folder of the chosen file, and new documents
    // are made there.
    if (!path.isEmpty()) {
        QDir::setCurrent(QFileInfo(path).absolutePath());
        m_lastFolder = QFileInfo(path).absolutePath();
    }
    return path;
}

QString TMainForm::newDocumentFolder() const
{
    // The folder last used for a table; else the user's documents folder (made when missing),
    // else the home folder. Never the folder the program happened to be started in.
    if (writableFolder(m_lastFolder))
        return m_lastFolder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents) && writableFolder(documents))
        return QDir(documents).absolutePath();
    return QDir::homePath();
}

void TMainForm::OpenDocument(const QString& path)
{
    for (const TMDIChild* child : documents())
        if (child->pathCaption() == path)
            return;  // already open under exactly this name: nothing changes

    auto* child = new TMDIChild;
    child->setPathCaption(path);
    child->setWindowIcon(commandIcon(IconKind::Program));
    // A window's notice is its own: it goes when the window closes or another takes the turn.
    connect(child, &TMDIChild::statusMessage, this, [this, child](const QString& text) {
        showStatus(text);
        m_statusOwner = child;
    });
    connect(child, &QObject::destroyed, this, [this, child] { clearStatusOf(child); });
    // What a notice said about the document no longer holds once it changed or went back.
    connect(child->history()->stack(), &QUndoStack::indexChanged, this, [this, child] { clearStatusOf(child); });
    QMdiSubWindow* sub = m_mdi->addSubWindow(child);
    sub->showMaximized();
    m_mdi->setActiveSubWindow(sub);
    emit documentCreated(child);

    zelt::document::Document& doc = child->document();
    std::vector<zelt::document::Diagnostic> found;
    // A table made here (New, or a name that does not exist yet) keeps its text in the code page
    // of the user's language, so that a Cyrillic user can type marks in their alphabet.
    child->session().setNewTableCodePage(zelt::document::codePageForLocale(QLocale().name().toStdString()));
    try {
        zelt::document::OpenOutcome outcome = child->session().open(toPath(path));
        found = std::move(outcome.diagnostics);
        if (outcome.layoutToLoad) {
            // A layout that cannot be read leaves the built-in column set in place, and the
            // file as it is until the user chooses another layout or deletes it.
            try {
                doc.columns = zelt::interchange::loadLayoutCompanion(*outcome.layoutToLoad);
            } catch (const std::exception& e) {
                child->keepLayoutFile();
                TMDIChild::showError(this, QString::fromUtf8(e.what()));
            }
        }
    } catch (const std::exception& e) {
        child->history()->forget();
        child->refreshRows();
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        // A table that did not open leaves no empty window behind; one whose companion could
        // not be read stays open with what was read.
        if (!child->Table1().isOpen())
            sub->close();
        return;
    }
    // The history starts with the document as opened (the start row a new table gets is no step).
    child->history()->forget();
    m_lastFolder = QFileInfo(child->tablePath()).absolutePath();
    child->refreshRows();
    child->DBGrid1()->setFocus();
    // A table that opened read-only (damaged, locked, write-protected, on read-only media)
    // says so once, so that nobody prints or exports it believing it whole and editable.
    if (child->Table1().isReadOnly()) {
        const std::string reason = child->Table1().readOnlyReason();
        QMessageBox box(QMessageBox::Warning, applicationTitle(),
                        reason.empty() ? QStringLiteral("The table is opened read-only.") : QString::fromStdString(reason),
                        QMessageBox::Ok, this);
        box.exec();
    }
    showDiagnostics(found, QStringLiteral("Open ") + QFileInfo(path).fileName(), child);
}

void TMainForm::FileNew1Execute()
{
    // The new table's whole path is its window's title, so that the user sees where it is.
    const QString folder = newDocumentFolder();
    const std::string name = zelt::document::newDocumentName(documentCount(), toPath(folder));
    OpenDocument(QDir(folder).filePath(QString::fromStdString(name)));
}

void TMainForm::FileOpen1Execute()
{
    const QString path = askTablePath(false);
    if (!path.isEmpty())
        OpenDocument(path);
}

void TMainForm::FileClose1Execute()
{
    if (TMDIChild* child = activeDocument())
        for (QMdiSubWindow* sub : m_mdi->subWindowList())
            if (sub->widget() == child) {
                sub->close();
                return;
            }
}

void TMainForm::FileSave1Execute()
{
    // Rows reach the file as they are posted; saving stores the row being typed as well.
    TMDIChild* child = activeDocument();
    if (!child)
        return;
    child->commitEditor();
    try {
        if (child->Table1().isOpen())
            child->Table1().checkBrowseMode();
    } catch (const std::exception& e) {
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
    }
}

void TMainForm::FileSaveAs1Execute()
{
    TMDIChild* child = activeDocument();
    if (!child)
        return;
    const QString path = askTablePath(true, QStringLiteral("Rename File"));
    if (path.isEmpty())
        return;
    zelt::document::Document& doc = child->document();
    try {
        child->session().rename(toPath(path));
    } catch (const std::exception& e) {
        child->refreshRows();
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    child->setPathCaption(fromPath(doc.table.path()));
    child->refreshRows();
}

void TMainForm::SaveAs1Click()
{
    TMDIChild* child = activeDocument();
    if (!child)
        return;
    const QString path = askTablePath(true, QStringLiteral("Save As"));
    if (path.isEmpty())
        return;
    // A table open in another window or program is refused before anything else (the
    // document stays on its own table); an existing file is replaced only once the user agrees.
    // The table dialog does not ask before an existing file, so the question is asked here.
    using zelt::document::ReplaceExisting;
    try {
        bool saved = false;
        try {
            saved = child->session().saveAs(toPath(path), ReplaceExisting::No);
        } catch (const zelt::document::TargetExistsError& e) {
            const QString question = QString::fromUtf8(e.what()) + QStringLiteral("\nDo you want to replace it?");
            if (QMessageBox::question(this, applicationTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                      QMessageBox::No)
                != QMessageBox::Yes) {
                child->refreshRows();
                return;
            }
            saved = child->session().saveAs(toPath(path), ReplaceExisting::Yes);
        }
        if (saved)
            child->setPathCaption(path);
    } catch (const std::exception& e) {
        child->refreshRows();
        TMDIChild::showError(this, QString::fromUtf8(e.what()));
        return;
    }
    child->refreshRows();
}

void TMainForm::FileExit1Execute()
{
    close();
}

}  // namespace zelt::shell

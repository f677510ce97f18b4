// SPDX-License-Identifier: GPL-3.0-or-later
// Text export, spreadsheet export and paste from the clipboard, on the active document window.
#pragma once

#include "interchange/text_export.h"
#include "interchange/xlsx_writer.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace zelt::shell {

class TMainForm;

/// The "Export Table" commands ("To *.TXT File", "To *.TXT File with only Visible Columns",
/// "To Microsoft E&xcel 2000" and its toolbar button) and "Paste from &Excel" with its toolbar
/// button. Each acts on the active document window and shows errors in the error box.
class InterchangeCommands : public QObject {
    Q_OBJECT
public:
    /// Asks for the text file to write, starting from `initialName`; empty on cancel.
    using SavePrompt = std::function<QString(QWidget* parent, const QString& initialName)>;
    /// Opens a workbook in the user's spreadsheet program; false when none could be started.
    using UrlOpener = std::function<bool(const QUrl& url)>;

    explicit InterchangeCommands(TMainForm& main);

    /// Folder of the exported workbooks (Book1.xlsx, Book2.xlsx, ...): "Workbooks" in the
    /// program's folder under the user's data location, unless set otherwise.
    QString workbookFolder() const;
    /// Puts the workbooks into `folder` from the next export on (tests).
    void setWorkbookFolder(const QString& folder);

    /// Replaces the save dialog / the desktop's URL opener (tests).
    void setSavePrompt(SavePrompt prompt) { m_savePrompt = std::move(prompt); }
    void setUrlOpener(UrlOpener opener) { m_urlOpener = std::move(opener); }
    /// The name last chosen in the text export's save dialog ("untitled.txt" at first).
    const QString& lastTextName() const { return m_lastTextName; }
    /// The workbook written by the last spreadsheet export (empty before the first).
    QString lastWorkbook() const { return m_lastWorkbook; }

public slots:
    void ToTXTFile1Click();
    void ToTXTFilewithonlyvisiblecolumns1Click();
    void ToMic1Click();
    void ToolbarPasteDownClick();

private:
    void exportText(zelt::interchange::TextColumns which);
    QString askTextFile();

    TMainForm& m_main;
    SavePrompt m_savePrompt;
    UrlOpener m_urlOpener;
    QString m_lastTextName = QStringLiteral("untitled.txt");
    QString m_lastWorkbook;
    QString m_workbookFolder;
    /// The one spreadsheet connection of the program, made by the first export.
    std::optional<zelt::interchange::XlsxWriter> m_workbooks;
};

/// Creates the commands as a child of `main` and connects its actions.
InterchangeCommands* installInterchangeCommands(TMainForm& main);

}  // namespace zelt::shell

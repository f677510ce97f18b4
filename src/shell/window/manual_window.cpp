// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/window/manual_window.h"

#include "base/data_folders.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace zelt::shell {

QStringList manualFolders()
{
    QStringList folders;
    // ZELT_MANUAL_DIR in the environment names another manual (a translator's working copy).
    if (const QString own = qEnvironmentVariable("ZELT_MANUAL_DIR"); !own.isEmpty())
        folders << own;
    const auto program = zelt::document::programFolder();
    if (!program.empty()) {
        const QDir bin(QString::fromStdString(program.string()));
        folders << bin.filePath(QStringLiteral("manual"))
                << QDir::cleanPath(bin.filePath(QStringLiteral("../share/doc/zelt/manual")));
    }
#ifdef ZELT_MANUAL_DIR
    folders << QStringLiteral(ZELT_MANUAL_DIR);
#endif
    folders.removeDuplicates();
    return folders;
}

QString manualLanguageFolder(const QStringList& languages)
{
    QStringList wanted;
    for (const QString& l : languages) {
        // "de-DE" and "de_DE" both look for "de_DE", then "de".
        QString name = l;
        name.replace(QLatin1Char('-'), QLatin1Char('_'));
        wanted << name << name.section(QLatin1Char('_'), 0, 0);
    }
    wanted << QStringLiteral("en");
    for (const QString& folder : manualFolders()) {
        for (const QString& lang : wanted) {
            const QString dir = QDir(folder).filePath(lang);
            if (QFileInfo(QDir(dir).filePath(QStringLiteral("index.html"))).isFile())
                return dir;
        }
    }
    return {};
}

QString manualPageFor(const QString& objectName)
{
    static const struct {
        const char* object;
        const char* page;
    } pages[] = {
        {"Dialog1", "first-traverse.html"},      // survey values
        {"dialog3", "heights.html"},             // begin-way height
        {"OKF9Dlg", "heights.html"},             // start and end heights of the recalculation
        {"ExportDlg", "export.html"},
        {"KnownPointsDlg", "route.html"},
        {"CheckDialog", "check.html"},
        {"DiagnosticsDialog", "check.html"},
        {"LayoutMenus", "columns.html"},
    };
    for (const auto& p : pages)
        if (objectName == QLatin1String(p.object))
            return QString::fromLatin1(p.page);
    return QStringLiteral("index.html");
}

ManualWindow::ManualWindow(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ManualWindow"));
    setWindowTitle(tr("Zelt Manual"));
    setModal(false);
    resize(760, 620);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("ManualBrowser"));
    m_browser->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* back = buttons->addButton(tr("&Back"), QDialogButtonBox::ActionRole);
    QPushButton* forward = buttons->addButton(tr("&Forward"), QDialogButtonBox::ActionRole);
    QPushButton* contents = buttons->addButton(tr("C&ontents"), QDialogButtonBox::ActionRole);
    buttons->addButton(QDialogButtonBox::Close);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    connect(contents, &QPushButton::clicked, this, [this] { showPage(QStringLiteral("index.html")); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? tr("Zelt Manual") : title);
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser);
    layout->addWidget(buttons);
}

void ManualWindow::showPage(const QString& page)
{
    const QString folder = manualLanguageFolder(QLocale().uiLanguages());
    if (folder.isEmpty()) {
        m_browser->setHtml(tr("<p>The manual is not installed. It is looked for in:</p><p>%1</p>")
                               .arg(manualFolders().join(QStringLiteral("<br>")).toHtmlEscaped()));
        return;
    }
    const QString file = page.section(QLatin1Char('#'), 0, 0);
    const QString anchor = page.section(QLatin1Char('#'), 1);
    QUrl url = QUrl::fromLocalFile(QDir(folder).filePath(file));
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    m_browser->setSource(url);
}

ManualShortcut::ManualShortcut(QWidget* mainWindow) : QObject(mainWindow), m_mainWindow(mainWindow)
{
    qApp->installEventFilter(this);
}

void ManualShortcut::show(const QString& page)
{
    if (!m_window)
        m_window = new ManualWindow(m_mainWindow);
    m_window->showPage(page);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool ManualShortcut::eventFilter(QObject* watched, QEvent* event)
{
    // F1 in a dialog (modal or not) opens the page that explains it; the main window's own F1
    // is its Help > Manual command.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            auto* widget = qobject_cast<QWidget*>(watched);
            QWidget* top = widget ? widget->window() : nullptr;
            auto* dialog = qobject_cast<QDialog*>(top);
            if (dialog && !qobject_cast<ManualWindow*>(dialog)) {
                if (event->type() == QEvent::KeyPress) {
                    if (dialog->isModal()) {
                        // A modal dialog blocks every other window: its help opens as a window
                        // of the dialog itself, so it can be read and scrolled.
                        auto* help = new ManualWindow(dialog);
                        help->setAttribute(Qt::WA_DeleteOnClose);
                        help->showPage(manualPageFor(dialog->objectName()));
                        help->show();
                    } else {
                        show(manualPageFor(dialog->objectName()));
                    }
                }
                event->accept();
                return event->type() == QEvent::KeyPress;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace zelt::shell

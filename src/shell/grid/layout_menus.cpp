// SPDX-License-Identifier: GPL-3.0-or-later
// The "Grids" menu and the "Cols" drop-down: saving, loading and showing grid columns.
#include "shell/grid/layout_menus.h"

#include "base/data_folders.h"
#include "interchange/layout_stream.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QMenu>

#include <exception>

namespace zelt::shell {

namespace {

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdString()); }

/// The layout file dialogs: filter "Information for Grid", extension "ing", resizable; the save
/// dialog asks before replacing a file.
QString layoutFileDialog(QWidget* parent, bool forSave)
{
    QFileDialog dialog(parent);
    if (forSave) {
        dialog.setWindowTitle(QStringLiteral("Save Grid To Custom File"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    dialog.setDefaultSuffix(QStringLiteral("ing"));
    dialog.setNameFilter(QStringLiteral("Information for Grid (*.ing)"));
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

LayoutMenus::LayoutMenus(TMainForm& main) : QObject(&main), m_main(main), m_filePrompt(layoutFileDialog)
{
    setObjectName(QStringLiteral("LayoutMenus"));
}

namespace {

QStringList& folderOverride()
{
    static QStringList folders;
    return folders;
}

}  // namespace

void LayoutMenus::setFixedLayoutFolders(const QStringList& folders)
{
    folderOverride() = folders;
}

QString LayoutMenus::fixedLayoutPath(const QString& fileName)
{
    std::vector<std::filesystem::path> folders;
    for (const QString& dir : folderOverride())
        folders.push_back(toPath(dir));
    if (folders.empty())
        folders = zelt::document::dataFolders(toPath(QCoreApplication::applicationDirPath()));
    const std::filesystem::path found = zelt::document::findDataFile(fileName.toStdString(), folders);
    return found.empty() ? QString() : QString::fromStdString(found.string());
}

void LayoutMenus::saveCustom()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    const QString path = m_filePrompt(&m_main, true);
    if (path.isEmpty())
        return;
    try {
        zelt::interchange::saveGridLayout(child->document().columns, toPath(path), child->columnDefaults());
    } catch (const std::exception& e) {
        TMDIChild::showError(&m_main, QString::fromUtf8(e.what()));
    }
}

void LayoutMenus::loadFrom(const QString& path)
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    try {
        // The whole file is parsed before it replaces the grid's columns.
        child->document().columns = zelt::interchange::loadGridLayout(toPath(path));
    } catch (const std::exception& e) {
        TMDIChild::showError(&m_main, QString::fromUtf8(e.what()));
        return;
    }
    child->refreshColumns();
}

void LayoutMenus::loadFixed(const QString& fileName)
{
    // A fixed layout that is not installed is no error: nothing happens.
    const QString path = fixedLayoutPath(fileName);
    if (!path.isEmpty())
        loadFrom(path);
}

void LayoutMenus::loadStandard() { loadFixed(QStringLiteral("std.ing")); }
void LayoutMenus::loadAltimeter() { loadFixed(QStringLiteral("abs.ing")); }
void LayoutMenus::loadPercent() { loadFixed(QStringLiteral("procent.ing")); }

void LayoutMenus::loadCustom()
{
    if (!m_main.activeDocument())
        return;
    const QString path = m_filePrompt(&m_main, false);
    if (!path.isEmpty())
        loadFrom(path);
}

void LayoutMenus::showAllColumns()
{
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    for (auto& column : child->document().columns.columns)
        column.visible = true;
    child->refreshColumns();
}

void LayoutMenus::rebuildColumnMenu()
{
    QMenu* menu = m_main.actions().KolonkuMenu;
    menu->clear();
    TMDIChild* child = m_main.activeDocument();
    if (!child)
        return;
    const auto& defaults = child->columnDefaults();
    for (const auto& column : child->document().columns.columns) {
        QAction* item = menu->addAction(QString::fromStdString(defaults.titleCaption(column)));
        item->setCheckable(true);
        item->setChecked(column.isVisible());
        connect(item, &QAction::triggered, this, &LayoutMenus::ColumnMenuItemClick);
    }
}

void LayoutMenus::ColumnMenuItemClick()
{
    auto* item = qobject_cast<QAction*>(sender());
    TMDIChild* child = m_main.activeDocument();
    if (!item || !child)
        return;
    // The check mark has already been inverted by the click; the column follows it.
    const int position = static_cast<int>(m_main.actions().KolonkuMenu->actions().indexOf(item));
    auto& columns = child->document().columns.columns;
    if (position < 0 || position >= static_cast<int>(columns.size()))
        return;
    columns[static_cast<std::size_t>(position)].visible = item->isChecked();
    child->refreshColumns();
}

LayoutMenus* installLayoutMenus(TMainForm& main)
{
    auto* menus = new LayoutMenus(main);
    const MainActions& a = main.actions();
    QObject::connect(a.GridSaveCustom1, &QAction::triggered, menus, &LayoutMenus::saveCustom);
    QObject::connect(a.GridStandart1, &QAction::triggered, menus, &LayoutMenus::loadStandard);
    QObject::connect(a.GridAltimeter1, &QAction::triggered, menus, &LayoutMenus::loadAltimeter);
    QObject::connect(a.GridPercent1, &QAction::triggered, menus, &LayoutMenus::loadPercent);
    QObject::connect(a.GridAll1, &QAction::triggered, menus, &LayoutMenus::showAllColumns);
    QObject::connect(a.GridCustom1, &QAction::triggered, menus, &LayoutMenus::loadCustom);
    QObject::connect(a.KolonkuMenu, &QMenu::aboutToShow, menus, &LayoutMenus::rebuildColumnMenu);
    return menus;
}

}  // namespace zelt::shell

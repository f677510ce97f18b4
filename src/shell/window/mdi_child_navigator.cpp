// SPDX-License-Identifier: GPL-3.0-or-later
// Document window: the record navigator bar (`DBNavigator1`) and its buttons.
#include "shell/window/mdi_child.h"

#include "shell/grid/table_model.h"
#include "shell/window/undo_commands.h"

#include <QAction>
#include <QToolBar>

namespace zelt::shell {

using zelt::document::TraverseTable;

namespace {

struct NavButton {
    const char* glyph;
    const char* hint;
};
// First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh.
constexpr NavButton kNavButtons[] = {
    {"|\u25C0", "First record"}, {"\u25C0", "Prior record"}, {"\u25B6", "Next record"},
    {"\u25B6|", "Last record"},  {"+", "Insert record"},     {"\u2212", "Delete record"},
    {"\u25B2", "Edit record"},   {"\u2713", "Post edit"},    {"\u2717", "Cancel edit"},
    {"\u21BB", "Refresh"},
};
enum Nav { First, Prior, Next, Last, Insert = TMDIChild::kNavInsert, Delete, Edit, Post, Cancel, Refresh, NavCount };

}  // namespace

void TMDIChild::buildNavigator()
{
    m_navigator = new QToolBar(this);
    m_navigator->setObjectName(QStringLiteral("DBNavigator1"));
    m_navigator->setMovable(false);
    m_navigator->setFloatable(false);
    m_navigator->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (int i = 0; i < NavCount; ++i) {
        QAction* a = m_navigator->addAction(QString::fromUtf8(kNavButtons[i].glyph));
        a->setToolTip(QString::fromLatin1(kNavButtons[i].hint));
        a->setStatusTip(QString::fromLatin1(kNavButtons[i].hint));
        connect(a, &QAction::triggered, this, [this, i] { navigate(i); });
        m_navActions.append(a);
    }
}

QAction* TMDIChild::navigatorButton(int index) const
{
    return m_navActions.value(index);
}

void TMDIChild::navigate(int button)
{
    TraverseTable& t = Table1();
    try {
        switch (button) {
        case First: t.first(); break;
        case Prior: t.prior(); break;
        case Next: t.next(); break;
        case Last: t.last(); break;
        case Insert: t.insert(); break;
        case Delete:  // asks first, as Ctrl+Delete does; Undo brings the row back
            deleteWithConfirmation();
            break;
        case Edit: t.edit(); break;
        case Post: t.post(); break;
        case Cancel: t.cancel(); break;
        case Refresh: refreshRows(); break;
        default: break;
        }
    } catch (const std::exception& e) {
        showError(this, QString::fromUtf8(e.what()));
    }
    updateNavigator();
}

void TMDIChild::updateNavigator()
{
    const TraverseTable& t = m_document->table;
    const bool open = t.isOpen();
    const bool editing = open && (t.state() == TraverseTable::State::Edit || t.state() == TraverseTable::State::Insert);
    const int rows = open ? t.displayRowCount() : 0;
    const int cur = open ? t.currentIndex() : -1;
    const bool writable = open && !t.isReadOnly();
    const bool enabled[NavCount] = {
        open && cur > 0,        open && cur > 0,          open && cur >= 0 && cur < rows - 1,
        open && cur < rows - 1, writable,                 writable && rows > 0,
        writable && !editing && rows > 0, editing,        editing,
        open,
    };
    for (int i = 0; i < NavCount && i < m_navActions.size(); ++i)
        m_navActions[i]->setEnabled(enabled[i]);
}

}  // namespace zelt::shell

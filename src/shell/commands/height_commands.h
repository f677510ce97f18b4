// SPDX-License-Identifier: GPL-3.0-or-later
// The "&Calc Height" and survey-values commands of the main window and their dialogs.
#pragma once

#include <QObject>

namespace zelt::shell {

class TMainForm;
class TOKF9Dlg;
class TDialog1;
class Tdialog3;

/// Owns the height dialogs (created once, hidden, reused) and runs the height commands on the
/// active document: choose start/end (F8, F9, "St", "Fin"), "Re&Calculate" (F10, "Calc"),
/// "Fill Height" ("Fill H"), "% calc height" ("Fill%"), "GS", "GF", "&Pairs/Meters",
/// "Start &Height" and "Begin Way Height". Errors are shown in the error box; refusals too.
class HeightCommands : public QObject {
    Q_OBJECT
public:
    explicit HeightCommands(TMainForm& main);

    TOKF9Dlg* OKF9Dlg() const { return m_okf9; }
    TDialog1* Dialog1() const { return m_dialog1; }
    Tdialog3* dialog3() const { return m_dialog3; }

public slots:
    void chooseStart();      ///< status "Enter the Start Height for this cell", dialog in mode 10
    void chooseEnd();        ///< status "Enter the End Height for this cell", dialog in mode 20
    void recalculate();      ///< pace count, then the recalculation FillHeight -> Recalc
    void fillHeights();
    void percentHeights();
    void gotoStart();        ///< to `CalcStartMark`
    void gotoEnd();          ///< to `CalcEndMark`
    void showSurveyValues(); ///< the survey values dialog, non-blocking
    void showBeginWay();     ///< the begin-way height dialog, modal

private:
    TMainForm& m_main;
    TOKF9Dlg* m_okf9 = nullptr;
    TDialog1* m_dialog1 = nullptr;
    Tdialog3* m_dialog3 = nullptr;
};

/// Creates the height commands as a child of `main` and connects the main window's actions.
HeightCommands* installHeightCommands(TMainForm& main);

}  // namespace zelt::shell

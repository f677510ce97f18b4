// SPDX-License-Identifier: GPL-3.0-or-later
// The height dialogs: height selection (TOKF9Dlg), survey values (TDialog1), begin-way height (Tdialog3).
#pragma once

#include <QDialog>
#include <QDoubleSpinBox>

class QLabel;
class QPushButton;

namespace zelt::shell {

class TMainForm;

/// A spin field for a real number shown in its shortest form ("420", "402.5"); step 1, and
/// PageUp/PageDown step 10.
class RealSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit RealSpinBox(QWidget* parent = nullptr);
    QString textFromValue(double value) const override;
};

/// The height selection dialog (`OKF9Dlg`): non-blocking; mode 10 chooses the start row of the
/// recalculation, mode 20 the end row. Each activation reads the active document's current row.
class TOKF9Dlg : public QDialog {
    Q_OBJECT
public:
    /// The caption of the dialog in `mode` (kModeStart, kModeEnd).
    static QString titleOf(int mode);
    /// The status bar's prompt while the dialog is open in `mode`.
    static QString promptOf(int mode);
    static constexpr int kModeStart = 10;
    static constexpr int kModeEnd = 20;

    explicit TOKF9Dlg(TMainForm& main);
    int mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    /// Shows the dialog without blocking, in `mode`, and reads the current row.
    void showMode(int mode);
    QLabel* Label1() const { return m_current; }      ///< "Current Height : " + the reading
    RealSpinBox* SpinEdit1() const { return m_height; }
    QPushButton* OKBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

public slots:
    void FormActivate();
    void OKBtnClick();
    void CancelBtnClick();

protected:
    bool event(QEvent* e) override;
    /// Closed without OK (Cancel, Escape, the close button): the prompt goes with it.
    void closeEvent(QCloseEvent* e) override;

private:
    TMainForm& m_main;
    int m_mode = kModeStart;
    QLabel* m_current = nullptr;
    RealSpinBox* m_height = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

/// The survey values dialog (`TDialog1`): modal, stays on top; opening it reads the active
/// document's StartHeight and PairsPer100m (only then: what the user typed is never read over)
/// and puts the focus in the first field; OK stores them and runs the percent pass.
class TDialog1 : public QDialog {
    Q_OBJECT
public:
    explicit TDialog1(TMainForm& main);
    /// Shows the dialog (modal, without blocking the caller; centred the first time), reading the
    /// active document when it was not open yet.
    void showDialog();
    RealSpinBox* StartHeightEdit() const { return m_start; }
    RealSpinBox* PairsEdit() const { return m_pairs; }
    QPushButton* OKBtn() const { return m_ok; }
    QPushButton* CancelBtn() const { return m_cancel; }

public slots:
    void FormActivate();
    void OKBtnClick();
    void CancelBtnClick();

private:
    TMainForm& m_main;
    RealSpinBox* m_start = nullptr;
    RealSpinBox* m_pairs = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

/// The begin-way height dialog (`Tdialog3`): modal; OK adds its value to every altimeter
/// reading and to StartHeight of the active document. The value stays for the next opening.
class Tdialog3 : public QDialog {
    Q_OBJECT
public:
    explicit Tdialog3(TMainForm& main);
    RealSpinBox* SpinEdit1() const { return m_offset; }
    QPushButton* Button1() const { return m_ok; }
    QPushButton* Button2() const { return m_cancel; }

public slots:
    void Button1Click();
    void Button2Click();

private:
    TMainForm& m_main;
    RealSpinBox* m_offset = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

}  // namespace zelt::shell

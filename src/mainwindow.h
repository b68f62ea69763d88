#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class Ui_MainWindow;

// The spread result: the best split of the most recent search (HP, Def and
// SpDef EVs) and its harm. One per process, written by calcSpread and read by
// the window after each search.
extern int *opSpread;
extern double resHarm;

// Stat formulas. The EVs count in whole steps of 4; with the Nature the stat
// is multiplied by the double 1.1 and truncated.
int calcHp(int base, int evs);
int calcDef(int base, int evs, bool nature);
int calcSpDef(int base, int evs, bool nature);

// Harm of one combination of stats; the lower, the better. The bias weighs
// SpDef by 2 * bias and Def by 2 - 2 * bias.
double calcHarm(int hp, int def, int spDef, float bias);

// Finds the split of the spare EVs (rounded down to a multiple of 4, at most
// 252 per stat) with the least harm and stores it in the spread result.
// Without a Nature flag neither Def nor SpDef is raised; with it, `true`
// raises Def and `false` raises SpDef.
void calcSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef, float bias);
void calcSpread(int spareEvs, int baseHp, int baseDef, int baseSpDef, float bias,
                bool natureOnDef);

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_btnGo_clicked();
    void on_cbxNature_clicked();
    void on_hrsDefType_valueChanged(int value);

private:
    Ui_MainWindow *ui;
};

#endif // MAINWINDOW_H

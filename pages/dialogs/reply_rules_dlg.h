// The rules dialog of a page ("应答规则…" on the host node's menu): a table of reply rules,
// each with its on/off check, how it matches, what it matches, how and what it answers, a
// delay and how often it answered; adding, deleting and moving rules; how the page cuts
// what peers send into messages; and a trial field ("试一试") that shows which rule would
// answer a typed or hex input, with which bytes.
//
// OK refuses rules that cannot be used: each enabled rule at fault is switched off, the
// first fault is told with its position, and the dialog stays open. User-interface thread
// only.
#pragma once

#include <QDialog>

#include "pages/tools/reply_rules_tool.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTableWidget;

class ReplyRulesDialog : public QDialog {
    Q_OBJECT

public:
    enum Column { kOn, kKind, kPattern, kAnswerForm, kAnswer, kDelay, kCount, kColumnCount };

    ReplyRulesDialog(const ReplyRuleSet& set, QWidget* parent);

    // What the user chose, read on OK.
    const ReplyRuleSet& Result() const { return result_; }

    // The controls, for tests.
    QTableWidget* Table() const { return table_; }
    QLineEdit* TrialField() const { return trialField_; }
    QCheckBox* TrialHex() const { return trialHex_; }
    QLabel* TrialResult() const { return trialResult_; }
    QComboBox* FramingBox() const { return framing_; }
    QSpinBox* LengthBox() const { return length_; }

    // Rows as the rules they show.
    std::vector<ReplyRule> Rules() const;
    void SetRules(const std::vector<ReplyRule>& rules);

    void accept() override;

private:
    void AddRule();
    void DeleteRule();
    void MoveRule(int by);
    void Try();
    void SetRow(int row, const ReplyRule& rule);
    // The first enabled rule at fault, switched off with the others at fault; -1 if none.
    int SwitchOffFaulty(RuleFault& first);

    QTableWidget* table_;
    QComboBox* framing_;
    QSpinBox* length_;
    QLineEdit* trialField_;
    QCheckBox* trialHex_;
    QLabel* trialResult_;
    ReplyRuleSet result_;
};

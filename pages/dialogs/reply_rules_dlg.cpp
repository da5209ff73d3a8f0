#include "pages/dialogs/reply_rules_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <variant>

#include "net/connect_info.h"
#include "platform/message_box.h"
#include "text/code_page.h"
#include "text/hex_text.h"

namespace {

// In the order of MatchKind.
QStringList KindTexts() {
    return {QCoreApplication::translate("ReplyRulesDlg", "文本相同"),
            QCoreApplication::translate("ReplyRulesDlg", "文本包含"),
            QCoreApplication::translate("ReplyRulesDlg", "文本开头"),
            QCoreApplication::translate("ReplyRulesDlg", "正则表达式"),
            QCoreApplication::translate("ReplyRulesDlg", "十六进制")};
}
QStringList FormTexts() {
    return {QCoreApplication::translate("ReplyRulesDlg", "文本"),
            QCoreApplication::translate("ReplyRulesDlg", "十六进制")};
}

QComboBox* Combo(const QStringList& texts, int index) {
    auto* box = new QComboBox;
    box->addItems(texts);
    box->setCurrentIndex(index);
    return box;
}

QString Shown(const std::string& bytes) {
    QString text = QString::fromStdString(FormatHexRows(bytes, 0)).replace('\n', ' ');
    return text;
}

}  // namespace

ReplyRulesDialog::ReplyRulesDialog(const ReplyRuleSet& set, QWidget* parent)
    : QDialog(parent),
      table_(new QTableWidget(0, kColumnCount, this)),
      framing_(Combo({QCoreApplication::translate("ReplyRulesDlg", "按包"),
                      QCoreApplication::translate("ReplyRulesDlg", "按行"),
                      QCoreApplication::translate("ReplyRulesDlg", "定长")},
                     static_cast<int>(set.framing.framing))),
      length_(new QSpinBox(this)),
      trialField_(new QLineEdit(this)),
      trialHex_(new QCheckBox(QCoreApplication::translate("ReplyRulesDlg", "十六进制"), this)),
      trialResult_(new QLabel(this)) {
    setWindowTitle(QCoreApplication::translate("ReplyRulesDlg", "应答规则"));
    table_->setHorizontalHeaderLabels({QCoreApplication::translate("ReplyRulesDlg", "启用"),
                                       QCoreApplication::translate("ReplyRulesDlg", "匹配方式"),
                                       QCoreApplication::translate("ReplyRulesDlg", "匹配内容"),
                                       QCoreApplication::translate("ReplyRulesDlg", "应答形式"),
                                       QCoreApplication::translate("ReplyRulesDlg", "应答内容"),
                                       QCoreApplication::translate("ReplyRulesDlg", "延时(毫秒)"),
                                       QCoreApplication::translate("ReplyRulesDlg", "次数")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 10);
    table_->horizontalHeader()->setSectionResizeMode(kPattern, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(kAnswer, QHeaderView::Stretch);
    table_->setMinimumSize(720, 220);

    auto* rowButtons = new QHBoxLayout;
    const auto button = [this, rowButtons](const QString& text, auto command) {
        auto* pushed = new QPushButton(text, this);
        pushed->setAutoDefault(false);
        connect(pushed, &QPushButton::clicked, this, command);
        rowButtons->addWidget(pushed);
    };
    button(QCoreApplication::translate("ReplyRulesDlg", "添加"), [this] { AddRule(); });
    button(QCoreApplication::translate("ReplyRulesDlg", "删除"), [this] { DeleteRule(); });
    button(QCoreApplication::translate("ReplyRulesDlg", "上移"), [this] { MoveRule(-1); });
    button(QCoreApplication::translate("ReplyRulesDlg", "下移"), [this] { MoveRule(1); });
    rowButtons->addStretch();
    rowButtons->addWidget(
        new QLabel(QCoreApplication::translate("ReplyRulesDlg", "消息划分："), this));
    framing_->setParent(this);
    rowButtons->addWidget(framing_);
    length_->setRange(1, static_cast<int>(FramingChoice::kMaxLength));
    length_->setValue(static_cast<int>(set.framing.length));
    length_->setSuffix(QCoreApplication::translate("ReplyRulesDlg", " 字节"));
    rowButtons->addWidget(length_);
    const auto lengthFollows = [this] { length_->setEnabled(framing_->currentIndex() == 2); };
    connect(framing_, &QComboBox::currentIndexChanged, this, lengthFollows);
    lengthFollows();

    auto* trial = new QHBoxLayout;
    trial->addWidget(new QLabel(QCoreApplication::translate("ReplyRulesDlg", "试一试："), this));
    trial->addWidget(trialField_, 1);
    trial->addWidget(trialHex_);
    auto* tryButton = new QPushButton(QCoreApplication::translate("ReplyRulesDlg", "试一试"), this);
    tryButton->setAutoDefault(false);
    connect(tryButton, &QPushButton::clicked, this, &ReplyRulesDialog::Try);
    connect(trialField_, &QLineEdit::returnPressed, this, &ReplyRulesDialog::Try);
    trial->addWidget(tryButton);
    trialResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    trialResult_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)
        ->setText(QCoreApplication::translate("ReplyRulesDlg", "确定"));
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("ReplyRulesDlg", "取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ReplyRulesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReplyRulesDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(rowButtons);
    layout->addLayout(trial);
    layout->addWidget(trialResult_);
    layout->addWidget(buttons);
    SetRules(set.rules);
}

void ReplyRulesDialog::SetRow(int row, const ReplyRule& rule) {
    auto* on = new QTableWidgetItem;
    on->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    on->setCheckState(rule.enabled ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, kOn, on);
    table_->setCellWidget(row, kKind, Combo(KindTexts(), static_cast<int>(rule.kind)));
    table_->setItem(row, kPattern, new QTableWidgetItem(QString::fromStdU16String(rule.pattern)));
    table_->setCellWidget(row, kAnswerForm, Combo(FormTexts(), static_cast<int>(rule.answerForm)));
    table_->setItem(row, kAnswer, new QTableWidgetItem(QString::fromStdU16String(rule.answer)));
    auto* delay = new QSpinBox;
    delay->setRange(0, static_cast<int>(kMaxReplyDelayMs));
    delay->setValue(static_cast<int>(rule.delayMs));
    table_->setCellWidget(row, kDelay, delay);
    auto* count = new QTableWidgetItem(QString::number(rule.answered));
    count->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    count->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(rule.answered));
    table_->setItem(row, kCount, count);
}

void ReplyRulesDialog::SetRules(const std::vector<ReplyRule>& rules) {
    table_->setRowCount(static_cast<int>(rules.size()));
    for (int row = 0; row < table_->rowCount(); ++row)
        SetRow(row, rules[static_cast<std::size_t>(row)]);
}

std::vector<ReplyRule> ReplyRulesDialog::Rules() const {
    std::vector<ReplyRule> rules;
    for (int row = 0; row < table_->rowCount(); ++row) {
        ReplyRule rule;
        rule.enabled = table_->item(row, kOn)->checkState() == Qt::Checked;
        rule.kind = static_cast<MatchKind>(
            qobject_cast<QComboBox*>(table_->cellWidget(row, kKind))->currentIndex());
        rule.pattern = table_->item(row, kPattern)->text().toStdU16String();
        rule.answerForm = static_cast<AnswerForm>(
            qobject_cast<QComboBox*>(table_->cellWidget(row, kAnswerForm))->currentIndex());
        rule.answer = table_->item(row, kAnswer)->text().toStdU16String();
        rule.delayMs = static_cast<std::uint32_t>(
            qobject_cast<QSpinBox*>(table_->cellWidget(row, kDelay))->value());
        rule.answered = table_->item(row, kCount)->data(Qt::UserRole).toULongLong();
        rules.push_back(std::move(rule));
    }
    return rules;
}

void ReplyRulesDialog::AddRule() {
    const int row = table_->rowCount();
    table_->setRowCount(row + 1);
    SetRow(row, ReplyRule{});
    table_->setCurrentCell(row, kPattern);
    table_->editItem(table_->item(row, kPattern));
}

void ReplyRulesDialog::DeleteRule() {
    const int row = table_->currentRow();
    if (row >= 0)
        table_->removeRow(row);
}

void ReplyRulesDialog::MoveRule(int by) {
    const int row = table_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= table_->rowCount())
        return;
    std::vector<ReplyRule> rules = Rules();
    std::swap(rules[static_cast<std::size_t>(row)], rules[static_cast<std::size_t>(to)]);
    SetRules(rules);
    table_->setCurrentCell(to, kPattern);
}

int ReplyRulesDialog::SwitchOffFaulty(RuleFault& first) {
    int firstRow = -1;
    const std::vector<ReplyRule> rules = Rules();
    for (int row = 0; row < static_cast<int>(rules.size()); ++row) {
        const ReplyRule& rule = rules[static_cast<std::size_t>(row)];
        if (!rule.enabled)
            continue;
        std::optional<RuleFault> fault = CheckRule(rule);
        if (!fault)
            continue;
        table_->item(row, kOn)->setCheckState(Qt::Unchecked);
        if (firstRow < 0) {
            firstRow = row;
            first = std::move(*fault);
        }
    }
    return firstRow;
}

namespace {

QString FaultText(int row, const RuleFault& fault) {
    return QCoreApplication::translate("ReplyRulesDlg", "第 %1 条规则的%2有误，%3")
        .arg(row + 1)
        .arg(fault.part == RuleFault::Part::Pattern
                 ? QCoreApplication::translate("ReplyRulesDlg", "匹配内容")
                 : QCoreApplication::translate("ReplyRulesDlg", "应答内容"))
        .arg(QString::fromStdU16String(TextFaultMessage(fault.fault)));
}

}  // namespace

void ReplyRulesDialog::accept() {
    RuleFault fault;
    const int row = SwitchOffFaulty(fault);
    if (row >= 0) {
        table_->setCurrentCell(row, fault.part == RuleFault::Part::Pattern ? kPattern : kAnswer);
        ShowMessageBox(this,
                       FaultText(row, fault) +
                           QCoreApplication::translate("ReplyRulesDlg", "。该规则已停用。"),
                       QCoreApplication::translate("ReplyRulesDlg", "提示"));
        return;
    }
    result_.rules = Rules();
    result_.framing.framing = static_cast<Framing>(framing_->currentIndex());
    result_.framing.length = static_cast<std::size_t>(length_->value());
    QDialog::accept();
}

void ReplyRulesDialog::Try() {
    std::string input;
    if (trialHex_->isChecked()) {
        auto parsed = ParseHexText(trialField_->text().toStdU16String());
        if (auto* error = std::get_if<HexParseError>(&parsed)) {
            trialResult_->setText(QString::fromStdU16String(HexErrorMessage(*error)));
            return;
        }
        input = std::get<std::string>(parsed);
    } else {
        input = WideToAnsi(trialField_->text().toStdU16String());
    }
    const std::vector<ReplyRule> rules = Rules();
    for (int row = 0; row < static_cast<int>(rules.size()); ++row) {
        const ReplyRule& rule = rules[static_cast<std::size_t>(row)];
        if (rule.enabled)
            if (std::optional<RuleFault> fault = CheckRule(rule)) {
                trialResult_->setText(FaultText(row, *fault));
                return;
            }
    }
    ReplyMatcher matcher;
    matcher.SetRules(rules);
    ReplyMatcher::Result result = matcher.Match(input);
    using What = ReplyMatcher::Result::What;
    // Rules that ran into the limits are named before the outcome.
    QString overLimit;
    for (std::size_t rule : result.overLimit)
        overLimit +=
            QCoreApplication::translate("ReplyRulesDlg", "第 %1 条规则的正则表达式匹配超出限制。")
                .arg(rule + 1);
    if (result.what == What::NoMatch) {
        trialResult_->setText(overLimit +
                              QCoreApplication::translate("ReplyRulesDlg", "没有规则匹配。"));
        return;
    }
    std::string stamp = FormatTimeStamp();
    while (!stamp.empty() && stamp.back() == ' ') stamp.pop_back();
    const std::string answer =
        matcher.Answer(result.rule, {rules[result.rule].answered + 1, stamp, &result.captures});
    if (answer.empty()) {
        trialResult_->setText(
            overLimit + QCoreApplication::translate("ReplyRulesDlg", "第 %1 条规则匹配，不应答。")
                            .arg(result.rule + 1));
        return;
    }
    trialResult_->setText(overLimit + QCoreApplication::translate(
                                          "ReplyRulesDlg", "第 %1 条规则应答 %2 字节：%3\n“%4”")
                                          .arg(result.rule + 1)
                                          .arg(answer.size())
                                          .arg(Shown(answer))
                                          .arg(QString::fromStdU16String(AnsiToWide(answer))));
}

#include "propose_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <system_error>

#include "engine/scheme_run.h"
#include "fetch/encoding.h"
#include "gbk_text.h"
#include "gui_thread.h"
#include "main_window.h"
#include "message_box.h"
#include "scheme_editor.h"
#include "scheme_form.h"

namespace vela {
namespace {

// A candidate's row shows this many titles, each cut to this many characters, so
// that the rows of a long list fit the dialog; its tip shows more of them whole.
constexpr std::size_t kTitlesInRow = 3;
constexpr int kRowTitleLength = 12;
constexpr std::size_t kTitlesInTip = 12;

QString CandidateRow(std::size_t rank, const Candidate& candidate) {
    QStringList titles;
    for (std::size_t i = 0; i < candidate.items.size() && i < kTitlesInRow; ++i) {
        QString title = FromGbk(candidate.items[i].title).simplified();
        if (title.size() > kRowTitleLength) title = title.left(kRowTitleLength - 1) + "…";
        titles << title;
    }
    return QStringLiteral("%1. %2 篇文章：%3")
        .arg(rank)
        .arg(candidate.items.size())
        .arg(titles.join(QStringLiteral(" | ")));
}

QString CandidateTip(const Candidate& candidate) {
    QStringList lines;
    for (std::size_t i = 0; i < candidate.items.size() && i < kTitlesInTip; ++i) {
        lines << FromGbk(candidate.items[i].title).simplified();
    }
    if (candidate.items.size() > kTitlesInTip) {
        lines << QStringLiteral("…… 共 %1 篇").arg(candidate.items.size());
    }
    return lines.join(QLatin1Char('\n'));
}

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), text.size()); }

}  // namespace

ProposeDialog::ProposeDialog(ProposeInput input, bool gbkAddress, ProposeFunction propose,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("自动识别对话框"));
    setWindowTitle(QStringLiteral("自动识别"));
    auto* layout = new QVBoxLayout(this);
    message = new QLabel(QStringLiteral("正在读取 %1 ……").arg(Utf8(input.url)), this);
    message->setWordWrap(true);
    message->setTextFormat(Qt::PlainText);
    layout->addWidget(message);
    list = new QListWidget(this);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setTextElideMode(Qt::ElideRight);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    fillButton = new QPushButton(QStringLiteral("填入"), this);
    fillButton->setEnabled(false);
    cancelButton = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(fillButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(fillButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(list, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(list, &QListWidget::currentRowChanged, this,
            [this](int row) { fillButton->setEnabled(row >= 0); });
    resize(640, 300);

    try {
        thread_ =
            std::thread([this, input = std::move(input), gbkAddress, propose = std::move(propose)] {
                auto result = std::make_shared<AddressProposal>(ProposeAddress(
                    input, gbkAddress, MonitorTimings{},
                    [this] { return stop_.load() || ProgramEnding(); }, propose));
                // The dialog joins this thread before it goes: it is still there.
                QMetaObject::invokeMethod(
                    this, [this, result] { OnProposed(result); }, Qt::QueuedConnection);
            });
    } catch (const std::system_error&) {
        message->setText(QStringLiteral("出错！无法启动读取页面的线程"));
    }
}

ProposeDialog::~ProposeDialog() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

const Candidate* ProposeDialog::Chosen() const {
    const int row = list->currentRow();
    if (result() != Accepted || !result_ || row < 0) return nullptr;
    const auto& candidates = result_->proposal.candidates;
    return static_cast<std::size_t>(row) < candidates.size() ? &candidates[row] : nullptr;
}

void ProposeDialog::OnProposed(std::shared_ptr<AddressProposal> result) {
    if (thread_.joinable()) thread_.join();
    result_ = std::move(result);
    if (result_->stopped) return;
    if (!result_->gotPage) {
        message->setText(
            Utf8(FetchFailureStatusText(result_->failure, FetchLimits(MonitorTimings{}), false)));
        return;
    }
    // A page cut short is still looked at, as a check judges it.
    const QString cut = result_->failure == FetchFailure::kNone
                            ? QString()
                            : QStringLiteral("注意：") +
                                  Utf8(FetchFailureStatusText(
                                      result_->failure, FetchLimits(MonitorTimings{}), true)) +
                                  QLatin1Char('\n');
    const auto& candidates = result_->proposal.candidates;
    if (candidates.empty()) {
        QString text = cut + QStringLiteral("没有在页面中找到文章列表");
        if (!result_->proposal.error.empty()) {
            text += QStringLiteral("（%1）").arg(Utf8(result_->proposal.error));
        }
        message->setText(text);
        return;
    }
    message->setText(
        cut + QStringLiteral("找到 %1 个文章列表（%2编码），选一个填入方案：")
                  .arg(candidates.size())
                  .arg(result_->proposal.gbk ? QStringLiteral("GBK ") : QStringLiteral("UTF-8 ")));
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        auto* item = new QListWidgetItem(CandidateRow(i + 1, candidates[i]), list);
        item->setToolTip(CandidateTip(candidates[i]));
    }
    list->setCurrentRow(0);
    list->setFocus();
}

void BindProposeButton(EditorContext& editor, ProposeFunction propose) {
    MainWindow& w = editor.window;
    QObject::connect(w.Control<QPushButton>("按钮_自动识别"), &QPushButton::clicked, &w,
                     [&editor, propose = std::move(propose)] {
                         MainWindow& window = editor.window;
                         const SchemeForm form = ReadSchemeForm(window);
                         if (form.url.empty()) {
                             ShowMessage(Gbk("请先填写监控网址！"));
                             return;
                         }
                         ProposeInput input;
                         input.url = GbkToUtf8(form.url);
                         input.cookie = form.cookie;
                         input.userAgent = form.ua;
                         ProposeDialog dialog(std::move(input), form.code != "0", propose, &window);
                         if (dialog.exec() != QDialog::Accepted || !dialog.Chosen()) return;
                         SchemeForm chosen = SchemeFormOf(dialog.Chosen()->scheme);
                         // A name the user gave stays.
                         if (!form.name.empty()) chosen.name = form.name;
                         FillSchemeEditor(chosen, editor);
                     });
}

}  // namespace vela

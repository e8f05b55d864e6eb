#include "scheme_editor.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>

#include "engine/keyword_filter.h"
#include "engine/leading_integer.h"
#include "gbk_text.h"
#include "keyword_boxes.h"
#include "list_cells.h"
#include "list_fill.h"
#include "main_window.h"
#include "message_box.h"
#include "scheme_form.h"
#include "store/database.h"
#include "store/row_id.h"
#include "store/scheme_fields.h"
#include "store/scheme_save.h"
#include "store/scheme_statement.h"
#include "window_layout.h"

namespace vela {
namespace {

// The line edits of the form and the rule columns they show.
struct Field {
    const char* control;
    int column;
};
const Field kLineFields[] = {
    {"编辑框_站名", 3}, {"编辑框_网址", 4}, {"采集前", 12},   {"采集后", 13},   {"补全框", 10},
    {"ua框", 6},        {"tindex框", 14},   {"uindex框", 15}, {"oindex框", 16},
};
constexpr int kCode = 2, kCookie = 5, kRegular = 11, kType = 19, kId = 0;

void SetLineText(MainWindow& window, const char* name, const std::string& gbk) {
    auto* edit = window.Control<QLineEdit>(name);
    edit->setText(FromGbk(gbk));
    edit->setCursorPosition(0);
}

// Fills the pattern box as the program's own change. The current entry follows the
// text when the text is one of the ready-made patterns: with a stale current entry,
// the combo box would report the text as the user's choice (activated) as soon as
// the box loses focus or gets Enter.
void SetPatternText(QComboBox* box, const QString& text) {
    box->setEditText(text);
    const int entry = box->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (entry >= 0) {
        QSignalBlocker quiet(box);
        box->setCurrentIndex(entry);
    }
}

// A keyword that cannot be used is named in a box and nothing is saved; the form
// stays as it is, with the focus in the box that holds it, to be put right.
bool KeywordsUsable(MainWindow& window, const SchemeFields& fields) {
    const std::pair<const std::string*, const char*> lists[] = {
        {&fields.include, kIncludeBox},
        {&fields.exclude, kExcludeBox},
    };
    for (auto [lines, box] : lists) {
        std::string problem = KeywordListProblem(*lines);
        if (problem.empty()) continue;
        ShowMessage(Utf8ToGbk(problem), Gbk("创建失败！"));
        window.Control(box)->setFocus();
        return false;
    }
    return true;
}

}  // namespace

void SetEditorJudgeMode(int mode, EditorContext& editor) {
    MainWindow& w = editor.window;
    editor.EditorJudgeMode = mode;
    // setChecked on an auto-exclusive button cannot clear it: switch exclusivity
    // off while setting all three.
    QRadioButton* radios[] = {w.Control<QRadioButton>("单选框1"),
                              w.Control<QRadioButton>("单选框2"),
                              w.Control<QRadioButton>("单选框3")};
    int on = mode == 8 ? 2 : mode == 2 ? 1 : 0;
    for (int i = 0; i < 3; ++i) {
        radios[i]->setAutoExclusive(false);
        radios[i]->setChecked(i == on);
        radios[i]->setAutoExclusive(true);
    }
    w.Control("uindex框")->setEnabled(mode == 8);
}

void OpenSchemeEditor(EditorOpenMode mode, EditorContext& editor) {
    MainWindow& w = editor.window;
    w.Control("状态")->setVisible(false);
    w.ShowPage(4);
    auto* list = w.Control<QTableWidget>("项目列表框");
    // New reads no row: every value is the empty text.
    int row = mode == EditorOpenMode::New ? -1 : SelectedRow(list);
    auto cell = [&](int column) { return CellText(list, row, column); };
    auto* save = w.Control<QPushButton>("按钮_保存配置");
    if (mode != EditorOpenMode::New) {
        SetLineText(w, "项目编号框", cell(kId));
        save->setText(QStringLiteral("更新规则"));
    }
    w.Control<QCheckBox>("gbk")->setChecked(cell(kCode) != "0");
    SetEditorJudgeMode(LeadingInteger(cell(kType)), editor);
    for (const Field& field : kLineFields) SetLineText(w, field.control, cell(field.column));
    SetPatternText(w.Control<QComboBox>("正则框"), FromGbk(cell(kRegular)));
    w.Control<QPlainTextEdit>("cookie框")->setPlainText(FromGbkLines(cell(kCookie)));
    // The keywords and clean titles are not in the list's row: read them from the
    // scheme's own row of rule_field. A copy takes them along.
    SchemeFields fields;
    int64_t id = 0;
    if (mode != EditorOpenMode::New && ParseRowId(cell(kId), id) &&
        !ReadSchemeFields(editor.database, id, fields)) {
        ShowMessage(Gbk("读取方案的关键词失败！"));
    }
    WriteSchemeFormFields(w, fields);
    if (mode != EditorOpenMode::Edit) {
        SetLineText(w, "项目编号框", "0");
        save->setText(QStringLiteral("新建规则"));
        SetLineText(w, "ua框", kDefaultUserAgent);
    }
}

void OnSaveScheme(EditorContext& editor) {
    SchemeForm form = ReadSchemeForm(editor.window);
    if (!KeywordsUsable(editor.window, form.fields)) return;
    form.type = QByteArray::number(editor.EditorJudgeMode).toStdString();
    std::string sql = SchemeSaveStatement(form);
    // An update of a scheme another program removed meanwhile changes no row: a
    // failure like any other, not a success.
    bool ok = ExecuteFormSave(editor.database, form).ok;
    ShowMessage(Gbk("SQL语句：") + sql, Gbk(ok ? "方案新建成功！" : "创建失败！"));
    OpenSchemeEditor(EditorOpenMode::New, editor);
    FillSchemeList(editor.window, editor.cursor, editor.database);
    SetEditorJudgeMode(0, editor);
}

void OnPatternChanged(EditorContext& editor) {
    editor.window.Control("按钮_保存配置")->setEnabled(false);
}

void BindSchemeEditor(EditorContext& editor) {
    MainWindow& w = editor.window;
    auto onItem = [&](const char* item, EditorOpenMode mode, bool hideStatus) {
        QObject::connect(w.MenuItem("方案", item), &QAction::triggered, &w,
                         [&editor, mode, hideStatus] {
                             OpenSchemeEditor(mode, editor);
                             if (hideStatus) editor.window.Control("状态")->setVisible(false);
                         });
    };
    onItem("新建监控方案", EditorOpenMode::New, false);
    onItem("编辑", EditorOpenMode::Edit, true);
    onItem("复制", EditorOpenMode::Copy, false);
    const std::pair<const char*, int> radios[] = {{"单选框1", 0}, {"单选框2", 2}, {"单选框3", 8}};
    for (auto [name, mode] : radios) {
        QObject::connect(w.Control<QRadioButton>(name), &QRadioButton::clicked, &w,
                         [&editor, mode] { SetEditorJudgeMode(mode, editor); });
    }
    auto* pattern = w.Control<QComboBox>("正则框");
    QObject::connect(pattern->lineEdit(), &QLineEdit::textEdited, &w,
                     [&editor] { OnPatternChanged(editor); });
    QObject::connect(pattern, &QComboBox::activated, &w, [&editor] { OnPatternChanged(editor); });
    QObject::connect(w.Control<QPushButton>("按钮_保存配置"), &QPushButton::clicked, &w,
                     [&editor] { OnSaveScheme(editor); });
}

}  // namespace vela

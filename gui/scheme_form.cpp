#include "scheme_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "gbk_text.h"
#include "keyword_boxes.h"
#include "main_window.h"

namespace vela {

SchemeForm ReadSchemeForm(MainWindow& w) {
    auto line = [&w](const char* name) { return ToGbk(w.Control<QLineEdit>(name)->text()); };
    SchemeForm form;
    form.id = line("项目编号框");
    form.code = std::string(w.Control<QCheckBox>("gbk")->isChecked() ? "1" : "0");
    form.url = line("编辑框_网址");
    form.before = line("采集前");
    form.after = line("采集后");
    form.regular = ToGbk(w.Control<QComboBox>("正则框")->currentText());
    form.buquan = line("补全框");
    form.cookie = ToGbkLines(w.Control<QPlainTextEdit>("cookie框")->toPlainText());
    form.tindex = line("tindex框");
    form.uindex = line("uindex框");
    form.oindex = line("oindex框");
    form.ua = line("ua框");
    form.name = line("编辑框_站名");
    // Keywords are kept one per line with LF alone, as typed.
    form.fields.include = ToGbk(w.Control<QPlainTextEdit>(kIncludeBox)->toPlainText());
    form.fields.exclude = ToGbk(w.Control<QPlainTextEdit>(kExcludeBox)->toPlainText());
    form.fields.cleanTitles = w.Control<QCheckBox>(kCleanTitlesBox)->isChecked();
    form.fields.fetch = w.Control<QCheckBox>(kBrowserRenderBox)->isChecked() ? FetchMode::kBrowser
                                                                             : FetchMode::kHttp;
    return form;
}

void WriteSchemeFormFields(MainWindow& w, const SchemeFields& fields) {
    w.Control<QPlainTextEdit>(kIncludeBox)->setPlainText(FromGbkLines(fields.include));
    w.Control<QPlainTextEdit>(kExcludeBox)->setPlainText(FromGbkLines(fields.exclude));
    w.Control<QCheckBox>(kCleanTitlesBox)->setChecked(fields.cleanTitles);
    w.Control<QCheckBox>(kBrowserRenderBox)->setChecked(fields.fetch == FetchMode::kBrowser);
}

}  // namespace vela

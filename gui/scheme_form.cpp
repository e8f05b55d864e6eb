#include "scheme_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "gbk_text.h"
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
    return form;
}

}  // namespace vela

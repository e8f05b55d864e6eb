#include "gbk_text.h"

#include <QByteArray>
#include <QTableWidgetItem>

#include "fetch/encoding.h"

namespace vela {

QString FromGbk(std::string_view gbk) { return QString::fromStdString(GbkToUtf8(gbk)); }

std::string ToGbk(const QString& text) { return Utf8ToGbk(text.toStdString()); }

QString FromGbkLines(std::string_view gbk) {
    QString text = FromGbk(gbk);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string ToGbkLines(const QString& text) {
    QString copy = text;
    copy.replace(QChar('\n'), QStringLiteral("\r\n"));
    return ToGbk(copy);
}

void SetItemBytes(QTableWidgetItem* item, const std::string& gbk) {
    item->setData(kBytesRole, QByteArray(gbk.data(), static_cast<qsizetype>(gbk.size())));
    item->setText(FromGbk(gbk));
}

std::string ItemBytes(const QTableWidgetItem* item) {
    if (!item) return {};
    QByteArray bytes = item->data(kBytesRole).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace vela

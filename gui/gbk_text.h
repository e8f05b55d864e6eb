#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "fetch/encoding.h"

class QTableWidgetItem;

// The one boundary where text changes encoding: the engine works in GBK bytes,
// the widgets in QString.

namespace vela {

QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

// Multi-line boxes hold "\n" where the program's texts hold CR LF.
QString FromGbkLines(std::string_view gbk);
std::string ToGbkLines(const QString& text);

// List cells keep the exact bytes they were filled with: not every GBK byte string
// survives the trip through QString, and the engine must read back what was stored.
inline constexpr int kBytesRole = 0x0100;  // Qt::UserRole
void SetItemBytes(QTableWidgetItem* item, const std::string& gbk);
std::string ItemBytes(const QTableWidgetItem* item);

}  // namespace vela

#include "window_layout.h"

namespace vela {
namespace {

using K = ControlKind;

constexpr const char* kPageCaptions[] = {"欢迎使用", "最新文章", "监控方案",
                                         "我的收藏", "方案操作", "高级设置"};

// Creation order is stacking order: later siblings lie on top. The tab control
// comes first so that the status box and the top row lie above it, and on page 5
// the cover label lies below the group boxes that follow it, 设置 included: it
// holds the 桌面通知 box, which must take the mouse.
constexpr ControlSpec kLayout[] = {
    {"选择夹", K::TabControl, "", 2, 16, 714, 440, "", 0},
    {"标签13", K::Label, "", 443, 4, 53, 28, "监控频率", kHidden},
    {"频率框", K::Edit, "", 498, 7, 48, 22, "300", kHidden | kCentred},
    {"自动监控框", K::CheckBox, "", 556, 6, 72, 24, "自动监控", 0},
    {"运行", K::Button, "", 628, 5, 80, 26, "开 始", 0},
    {"状态", K::MultiEdit, "", 2, 427, 714, 30,
     "欢迎使用澜栖网站更新监控工具 v1.2 —— 澜栖工作室出品", kHidden | kReadOnly},

    {"超文本浏览框1", K::BrowserBox, "选择夹/0", -2, 20, 735, 416, "", 0},
    {"文章列表框", K::ListView, "选择夹/1", 0, 21, 714, 388, "", kGridLines},
    {"项目列表框", K::ListView, "选择夹/2", 0, 21, 714, 388, "", kGridLines | kRowCheckBoxes},
    {"收藏列表框", K::ListView, "选择夹/3", 2, 21, 714, 388, "", kGridLines},

    {"分组框1", K::GroupBox, "选择夹/4", 3, 21, 709, 259, "", 0},
    {"测试列表框", K::ListView, "选择夹/4", 7, 288, 400, 144, "", 0},
    {"测试编辑框", K::MultiEdit, "选择夹/4", 412, 288, 296, 141, "", kVScroll},
    {"标签2", K::Label, "分组框1", 10, 19, 56, 24, "方案名称", 0},
    {"编辑框_站名", K::Edit, "分组框1", 66, 22, 233, 20, "", 0},
    {"gbk", K::CheckBox, "分组框1", 308, 19, 65, 24, "gbk编码", kChecked | kCaptionLeft},
    {"标签3", K::Label, "分组框1", 10, 57, 48, 24, "监控网址", 0},
    {"编辑框_网址", K::Edit, "分组框1", 66, 60, 236, 20, "", 0},
    {"按钮_自动识别", K::Button, "分组框1", 306, 57, 68, 26, "自动识别", 0},
    {"标签4", K::Label, "分组框1", 10, 96, 48, 24, "采集区域", 0},
    {"采集前", K::Edit, "分组框1", 66, 98, 146, 20, "<html", 0},
    {"标签12", K::Label, "分组框1", 217, 107, 8, 10, "~", 0},
    {"采集后", K::Edit, "分组框1", 228, 98, 146, 20, "</html>", 0},
    {"标签9", K::Label, "分组框1", 10, 133, 48, 24, "正则匹配", 0},
    {"正则框", K::ComboBox, "分组框1", 66, 135, 633, 20, "", 0},
    {"标签5", K::Label, "分组框1", 10, 180, 48, 24, "COOKIE", 0},
    {"cookie框", K::MultiEdit, "分组框1", 66, 173, 308, 40, "", kVScroll},
    {"标签6", K::Label, "分组框1", 10, 228, 48, 24, "浏览器UA", 0},
    {"ua框", K::Edit, "分组框1", 66, 230, 308, 20, kDefaultUserAgent, 0},
    {"标签7", K::Label, "分组框1", 387, 15, 52, 24, "标题索引", 0},
    {"tindex框", K::Edit, "分组框1", 439, 18, 36, 20, "", kIntegerInput | kCentred},
    {"标签11", K::Label, "分组框1", 491, 15, 52, 24, "备用索引", 0},
    {"oindex框", K::Edit, "分组框1", 546, 18, 36, 20, "", kIntegerInput | kCentred},
    {"标签10", K::Label, "分组框1", 597, 15, 62, 24, "文章id索引", 0},
    {"uindex框", K::Edit, "分组框1", 665, 18, 36, 20, "1", kIntegerInput | kCentred | kDisabled},
    {"标签1", K::Label, "分组框1", 387, 62, 48, 24, "合成网址", 0},
    {"补全框", K::Edit, "分组框1", 443, 64, 259, 20, "[]", kCentred},
    {"标签15", K::Label, "分组框1", 387, 94, 48, 24, "判断模式", 0},
    {"单选框1", K::RadioButton, "分组框1", 443, 99, 72, 16, "时间倒序", kChecked},
    {"单选框2", K::RadioButton, "分组框1", 521, 99, 72, 16, "时间正序", 0},
    {"单选框3", K::RadioButton, "分组框1", 601, 99, 90, 16, "比较文章ID", 0},
    // Keywords and clean titles use the room left in the right-hand column; a
    // keyword box grows upwards while it has the focus.
    {"清理标题框", K::CheckBox, "分组框1", 443, 118, 80, 16, "清理标题", 0},
    {"浏览器渲染框", K::CheckBox, "分组框1", 521, 118, 90, 16, "浏览器渲染", 0},
    {"标签16", K::Label, "分组框1", 387, 156, 60, 24, "包含关键词", 0},
    {"包含关键词框", K::MultiEdit, "分组框1", 451, 158, 90, 20, "", 0},
    {"标签17", K::Label, "分组框1", 551, 156, 60, 24, "排除关键词", 0},
    {"排除关键词框", K::MultiEdit, "分组框1", 613, 158, 88, 20, "", 0},
    {"测试提示", K::HtmlBox, "分组框1", 387, 180, 312, 18, "提示：规则测试正确后，才能保存配置", 0},
    {"分组框2", K::GroupBox, "分组框1", 387, 200, 314, 52, "", 0},
    {"标签8", K::Label, "分组框2", 12, 17, 40, 24, "保存到", 0},
    {"项目编号框", K::Edit, "分组框2", 55, 19, 48, 20, "0", kCentred | kDisabled},
    {"按钮_保存配置", K::Button, "分组框2", 121, 13, 80, 32, "新建规则", kDisabled},
    {"按钮_测试配置", K::Button, "分组框2", 216, 13, 80, 32, "规则测试", 0},

    {"遮挡层", K::Label, "选择夹/5", -10, 20, 736, 430, "", kOpaque},
    {"设置", K::GroupBox, "选择夹/5", 6, 90, 704, 150, "软件设置", 0},
    {"桌面通知", K::CheckBox, "设置", 16, 21, 184, 24, "桌面通知", kChecked},
    {"按钮_通知渠道", K::Button, "设置", 210, 19, 96, 28, "通知渠道…", 0},
    {"提醒分组框", K::GroupBox, "选择夹/5", 6, 33, 704, 56, "发现新文章时提醒方式：", 0},
    {"图标提醒", K::CheckBox, "提醒分组框", 16, 21, 184, 24, "更换右下角托盘图标", kChecked},
    {"语音提醒", K::CheckBox, "提醒分组框", 200, 21, 184, 24, "播放提示音", kChecked},
    {"数据库框", K::GroupBox, "选择夹/5", 6, 253, 704, 124, "数据库维护", 0},
    {"sql框", K::MultiEdit, "数据库框", 8, 20, 688, 88, "update info set issoucang=1 where id=671",
     0},
    {"按钮_执行SQL", K::Button, "数据库框", 609, 68, 80, 32, "执行SQL命令", 0},
};

}  // namespace

std::span<const ControlSpec> WindowLayout() { return kLayout; }

std::span<const char* const> TabPageCaptions() { return kPageCaptions; }

}  // namespace vela

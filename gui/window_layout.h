#pragma once

#include <span>

#include "engine/scheme.h"

// The static make-up of the main window: every control with its name (also its
// objectName), kind, parent, place, caption and initial state.

namespace vela {

enum class ControlKind {
    Label,
    Edit,       // single line
    MultiEdit,  // multi-line
    Button,
    CheckBox,
    RadioButton,
    GroupBox,
    ComboBox,  // editable drop-down
    ListView,  // report view, whole-row single selection
    TabControl,
    HtmlBox,     // short HTML text with a style sheet
    BrowserBox,  // the welcome page
};

enum ControlFlag : unsigned {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kChecked = 1u << 2,
    kCentred = 1u << 3,
    kIntegerInput = 1u << 4,
    kReadOnly = 1u << 5,
    kVScroll = 1u << 6,
    kGridLines = 1u << 7,
    kRowCheckBoxes = 1u << 8,
    kCaptionLeft = 1u << 9,
    kOpaque = 1u << 10,
};

struct ControlSpec {
    const char* name;
    ControlKind kind;
    // "" for the window itself, "选择夹/N" for page N of the tab control (placed
    // relative to the tab control's top-left corner), else the parent's name.
    const char* parent;
    int x, y, width, height;
    const char* text;  // caption or default text, UTF-8
    unsigned flags;
};

std::span<const ControlSpec> WindowLayout();

// Page captions of the tab control, by index.
std::span<const char* const> TabPageCaptions();

// Client size of the window.
inline constexpr int kWindowWidth = 717;
inline constexpr int kWindowHeight = 479;

}  // namespace vela

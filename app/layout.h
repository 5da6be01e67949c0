#pragma once
// The window's design: every control of every tab, with its place in twips relative to the
// top-left corner of the tab control (15 twips to the pixel).

#include <array>
#include <span>

namespace layout {

enum class Kind { Label, TextBox, Button, PictureBox };

enum Setting : unsigned {
    Plain = 0,
    Hidden = 1U << 0,
    MaxLength3 = 1U << 1,
    MultiLine = 1U << 2,          // multi-line, no scroll bars
    VerticalScrollBar = 1U << 3,  // multi-line with a vertical scroll bar
    ReadOnly = 1U << 4,
    Font24 = 1U << 5,
    Font12 = 1U << 6,
    MaxLength1 = 1U << 7,
};

struct Control {
    const char* name;
    Kind kind;
    const char* text;
    int left, top, width, height;  // twips
    int tabIndex;
    unsigned settings;
};

struct Tab {
    const char* caption;
    std::span<const Control> controls;
};

constexpr int kTwipsPerPixel = 15;
constexpr int Pixels(int twips) {
    return twips / kTwipsPerPixel;
}

// The window's client area and the tab control inside it, in twips.
constexpr int kClientWidth = 6165, kClientHeight = 5370;
constexpr int kTabLeft = 60, kTabTop = 180, kTabWidth = 6015, kTabHeight = 5115;
constexpr int kOpeningTab = 4;

const std::array<Tab, 5>& Tabs();

// What a screen reader says of a control that has no caption of its own: a short name, and
// the label that describes it (its buddy), whose text becomes the description where it says
// more than the name. A null `name` takes the label's text as the name.
struct Accessible {
    const char* control;
    const char* label;  // may be null
    const char* name;   // may be null
};

std::span<const Accessible> AccessibleNames();

}  // namespace layout

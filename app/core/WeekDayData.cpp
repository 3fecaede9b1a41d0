#include "app/core/WeekDayData.h"

#include <algorithm>

#include "app/ui/WindowConstants.h"

namespace velmo {

namespace {

CellBox Shrunk(CellBox box) { return {box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}; }

}  // namespace

WeekDayData::WeekDayData(int firstDayOfWeek, const std::array<std::u16string_view, kCells>& dayNames)
    : firstDay_(firstDayOfWeek) {
    for (std::size_t d = 0; d < names_.size(); ++d) {
        std::u16string_view name = dayNames[d].substr(0, kNameUnits);
        std::copy(name.begin(), name.end(), names_[d].begin());
    }
}

int WeekDayData::DayOfCell(int cell) const {
    int day = firstDay_ + cell;
    return day >= kCells ? day - kCells : day;
}

std::u16string_view WeekDayData::DayName(int day) const {
    return std::u16string_view(names_[static_cast<std::size_t>(day)].data());
}

char16_t WeekDayData::CellLetter(int cell) const { return names_[static_cast<std::size_t>(DayOfCell(cell))][0]; }

void WeekDayData::ToggleCell(int cell) { mask_ ^= 1u << DayOfCell(cell); }

bool WeekDayData::KeyDown(unsigned virtualKey) {
    switch (virtualKey) {
        case VK_LEFT: focus_ = std::max(focus_ - 1, 0); return true;
        case VK_RIGHT: focus_ = std::min(focus_ + 1, kCells - 1); return true;
        case VK_RETURN: ToggleCell(focus_); return true;
        default: return false;
    }
}

unsigned WeekDayData::DialogCode(std::optional<unsigned> keyDown) const {
    if (!keyDown) return DLGC_WANTARROWS;
    switch (*keyDown) {
        // Enter toggles a day instead of closing the dialog.
        case VK_RETURN: return DLGC_WANTARROWS | DLGC_WANTALLKEYS;
        // At either end the arrow leaves the control, so the dialog moves the focus on.
        case VK_LEFT: return focus_ > 0 ? DLGC_WANTARROWS : 0;
        case VK_RIGHT: return focus_ < kCells - 1 ? DLGC_WANTARROWS : 0;
        case VK_UP:
        case VK_DOWN: return 0;
        default: return DLGC_WANTARROWS;
    }
}

CellBox WeekDayData::CellArea(CellBox client, bool focused) {
    if (focused) client = Shrunk(client);
    return Shrunk(client);
}

CellBox WeekDayData::Cell(const CellBox& area, int cell) {
    int width = (area.right - area.left) / kCells;
    int left = area.left + cell * width;
    return {left, area.top, left + width - 1, area.bottom};
}

int WeekDayData::CellAt(CellBox client, bool focused, int x, int y) {
    CellBox area = CellArea(client, focused);
    for (int cell = 0; cell < kCells; ++cell) {
        CellBox box = Cell(area, cell);
        if (x >= box.left && x < box.right && y >= box.top && y < box.bottom) return cell;
    }
    return -1;
}

}  // namespace velmo

#pragma once
// What the week-day control keeps and works out without drawing: the day mask, the cell
// that carries the keyboard cursor, the locale's week, the cells' places, and which keys
// the control keeps from its dialog.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velmo {

// A rectangle as the handheld gives one: right and bottom lie just outside it.
struct CellBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// WM_GETDLGCODE answers.
inline constexpr unsigned DLGC_WANTARROWS = 0x0001;
inline constexpr unsigned DLGC_WANTALLKEYS = 0x0004;

class WeekDayData {
public:
    static constexpr int kCells = 7;
    static constexpr int kNameUnits = 3;

    // firstDayOfWeek: 0 Monday to 6 Sunday; dayNames: the abbreviated names, Monday first,
    // of which the first three units are kept.
    WeekDayData(int firstDayOfWeek, const std::array<std::u16string_view, kCells>& dayNames);

    int FocusPosition() const { return focus_; }
    int FirstDayOfWeek() const { return firstDay_; }
    // Bit d for day d, Monday being 0; bits above 6 are kept as they came.
    std::uint32_t Mask() const { return mask_; }
    void SetMask(std::uint32_t mask) { mask_ = mask; }

    // The day (0 Monday to 6 Sunday) that cell 0 to 6 shows, counted from the left.
    int DayOfCell(int cell) const;
    bool IsDayChosen(int day) const { return (mask_ >> day) & 1u; }
    std::u16string_view DayName(int day) const;
    // The letter a cell shows: the first of its day's name.
    char16_t CellLetter(int cell) const;
    void ToggleCell(int cell);

    // WM_KEYDOWN; true when the control must be painted again.
    bool KeyDown(unsigned virtualKey);
    // WM_GETDLGCODE, given the pending key press or none.
    unsigned DialogCode(std::optional<unsigned> keyDown) const;

    // The room the cells share: the client area less the focus frame, when there is
    // one, and a margin of one pixel.
    static CellBox CellArea(CellBox client, bool focused);
    // Cell 0 to 6 of the area; the pixel column after each cell is its separator line,
    // and what is left over at the right belongs to no cell.
    static CellBox Cell(const CellBox& area, int cell);
    // The cell under (x, y) of the client area, or -1.
    static int CellAt(CellBox client, bool focused, int x, int y);

private:
    int focus_ = 0;
    std::uint32_t mask_ = 0;
    int firstDay_ = 0;
    std::array<std::array<char16_t, kNameUnits + 1>, kCells> names_{};
};

}  // namespace velmo

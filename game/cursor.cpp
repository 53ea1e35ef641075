// The keyboard's and the controller's cursor over a screen's tap targets: moved by the arrows or
// the d-pad, it stands where a tap would land, and the screen presses what lies under it.
#include "shell/shell.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"

namespace {

// The middle of a target in pixels, where a tap presses it.
int32_t Middle(int32_t low, int32_t high) { return (low + high) / 2; }

// The column of row whose target's middle lies nearest x.
int32_t NearestColumn(const CursorLayout& layout, int32_t row, int32_t x) {
    int32_t best = 0;
    int32_t bestDistance = INT32_MAX;
    for (int32_t column = 0; column < layout.rowLength(row); ++column) {
        CursorBox box = layout.box(row, column);
        int32_t distance = Middle(box.left, box.right) - x;
        distance = distance < 0 ? -distance : distance;
        if (distance < bestDistance) {
            best = column;
            bestDistance = distance;
        }
    }
    return best;
}

// A step up or down to the next row (round the end), to the target nearest the one left.
void StepRow(const CursorLayout& layout, ScreenCursor* cursor, int32_t step) {
    CursorBox from = layout.box(cursor->row, cursor->column);
    cursor->row = (cursor->row + step + layout.rows) % layout.rows;
    cursor->column = NearestColumn(layout, cursor->row, Middle(from.left, from.right));
}

// A step along the row, round its end.
void StepColumn(const CursorLayout& layout, ScreenCursor* cursor, int32_t step) {
    int32_t length = layout.rowLength(cursor->row);
    cursor->column = (cursor->column + step + length) % length;
}

// An outline one pixel wide.
void DrawOutline(int32_t left, int32_t top, int32_t right, int32_t bottom, uint16_t colour) {
    for (int32_t x = left; x <= right; ++x) {
        PutPixel(x, top, colour);
        PutPixel(x, bottom, colour);
    }
    for (int32_t y = top; y <= bottom; ++y) {
        PutPixel(left, y, colour);
        PutPixel(right, y, colour);
    }
}

}  // namespace

// The navigation presses of the last pump move the cursor (padOnly: a controller's alone);
// any of them shows it.
void MoveCursor(const CursorLayout& layout, ScreenCursor* cursor, bool padOnly) {
    struct Step {
        uint16_t press;
        bool alongRow;
        int32_t step;
    };
    constexpr Step Steps[] = {
        {NavUp, false, -1}, {NavDown, false, 1}, {NavLeft, true, -1}, {NavRight, true, 1}};
    for (const Step& step : Steps) {
        if (!TakeNavigation(step.press, padOnly)) continue;
        cursor->shown = true;
        if (step.alongRow) {
            StepColumn(layout, cursor, step.step);
        } else {
            StepRow(layout, cursor, step.step);
        }
    }
}

// A select press of the last pump (padOnly: a controller's) presses the target under the
// cursor, as a tap on its middle would.
void PressUnderCursor(const CursorLayout& layout, const ScreenCursor& cursor, bool padOnly,
                      void (*press)(int32_t x, int32_t y)) {
    if (TakeNavigation(NavSelect, padOnly)) PressTarget(layout.box(cursor.row, cursor.column), press);
}

// A target pressed by a key, as a tap on its middle.
void PressTarget(const CursorBox& box, void (*press)(int32_t x, int32_t y)) {
    press(Middle(box.left, box.right), Middle(box.top, box.bottom));
}

// The menu and name entry, after their picture: the cursor round its target, white with black
// inside it so that it shows on any picture. The host draws it over the picture; a journal
// recorded while it was drawn into the picture has it there.
void DrawCursor(const CursorLayout& layout, const ScreenCursor& cursor) {
    if (!cursor.shown) return;
    CursorBox box = layout.box(cursor.row, cursor.column);
    if (!CursorInPicture()) {
        ShowCursorOver(box.left, box.top, box.right, box.bottom);
        return;
    }
    DrawOutline(box.left, box.top, box.right, box.bottom, ColourWhite);
    DrawOutline(box.left + 1, box.top + 1, box.right - 1, box.bottom - 1, ColourBlack);
}

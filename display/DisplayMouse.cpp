// Point editing with the left mouse button. A press on a point drags it; a
// press on empty space adds a point there (while fewer than MaxPoints exist)
// and drags the new one; dragging an inner point more than 10 pixels outside
// the control removes it; a double click over a point asks the host to reset
// it (ResetPoint). Every handler finishes its change of the points and its
// redraw before it fires its event, so a host reading the points from the
// event sees what the user sees. Positions are the message's client
// coordinates, reported unchanged in the events.
#include "display/SonalterDisplay2.h"

namespace qelv {

// The first point (lowest index) whose 6 x 6 marker square holds the pixel:
// qx - 3 <= px < qx + 3 and the same for y. -1 when none does.
LONG CSonalterDisplay2::HitTestPoint(INT px, INT py) { return HitTestPoint(MappingGeometry(), px, py); }

// The same on a geometry the caller has measured already: one mouse message
// measures the scale bands once for its mapping and its hit test.
LONG CSonalterDisplay2::HitTestPoint(const ScaleGeometry& g, INT px, INT py) {
    const POINT pixel{px, py};
    const DisplayPoint* points = points_.Points();
    for (LONG i = 0; i < points_.Count(); ++i) {
        const PixelPoint q = ScaleToPixel(g, points[i].x, points[i].y);
        const RECT marker{q.x - 3, q.y - 3, q.x + 3, q.y + 3};
        if (PtInRect(&marker, pixel)) return i;
    }
    return -1;
}

// Shows the point cursor unless it is already showing, keeping the cursor it
// replaces to restore when the mouse leaves the points.
void CSonalterDisplay2::ShowPointCursor() {
    if (!PointCursor) return;
    HCURSOR current = GetCursor();
    if (current == PointCursor) return;
    SavedCursor = current;
    SetCursor(PointCursor);
}

void CSonalterDisplay2::OnLButtonDown(INT x, INT y) {
    if (Window) SetCapture(Window);
    const ScaleGeometry g = MappingGeometry();
    const ScalePoint s = PixelToScale(g, x, y);
    DragIndex = HitTestPoint(g, x, y);
    Dragging = true;
    if (DragIndex == -1) {
        if (points_.Count() < MaxPoints) {
            DragIndex = points_.AddPoint(s.x, s.y);
            if (DragIndex == -1) Dragging = false;  // out of memory: nothing added
        } else {
            Dragging = false;
        }
    }
    RedrawNow();
    if (DragIndex != -1) ShowPointCursor();
    Fire_MouseDown(x, y);
}

void CSonalterDisplay2::OnMouseMove(INT x, INT y) {
    const ScaleGeometry g = MappingGeometry();
    const ScalePoint s = PixelToScale(g, x, y);
    if (HitTestPoint(g, x, y) != -1 || Dragging) {
        ShowPointCursor();
    } else if (SavedCursor) {
        SetCursor(SavedCursor);
    }
    if (Dragging) {
        points_.MovePoint(DragIndex, s.x, s.y);
        const SIZE size = ControlPixelSize();
        const bool outside = x < -10 || x > size.cx + 10 || y < -10 || y > size.cy + 10;
        const bool inner = DragIndex != 0 && DragIndex != points_.Count() - 1;
        if (outside && inner) {
            points_.DeletePoint(DragIndex);
            Dragging = false;
        }
        RedrawNow();
    }
    Fire_MouseMove(x, y);
}

void CSonalterDisplay2::OnLButtonUp(INT x, INT y) {
    ReleaseCapture();
    const ScalePoint s = PixelToScale(MappingGeometry(), x, y);
    if (Dragging) points_.MovePoint(DragIndex, s.x, s.y);
    Dragging = false;
    RedrawNow();
    Fire_MouseUp(x, y);
    Fire_MouseClick(x, y);
}

// A double click changes no point: the host learns which point was clicked
// and may move it itself.
void CSonalterDisplay2::OnLButtonDblClk(INT x, INT y) {
    Fire_MouseDblClick();
    const LONG index = HitTestPoint(x, y);
    if (index != -1) Fire_ResetPoint(index);
}

}  // namespace qelv

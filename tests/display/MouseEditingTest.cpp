// Point editing with the mouse, checked against a model of the editing rules
// written out here on its own: random mouse scripts go to the control's
// handlers and to the model, and the events and the points must agree. Both
// scales are hidden so the plot is the whole control and no font is involved.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "DisplayTestSupport.h"

namespace qelv::test {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 120;

struct ModelPoint {
    float x;
    float y;
};

// The editing rules on a linear plot of kWidth x kHeight pixels with the
// default scales: 0..22050 across, -20..20 up.
class EditingModel {
public:
    std::vector<ModelPoint> points{{0.0f, 0.0f}, {22050.0f, 0.0f}};
    std::vector<std::string> events;

    void Down(int x, int y) {
        drag_ = Hit(x, y);
        dragging_ = true;
        if (drag_ == -1) {
            if (points.size() < 150) {
                drag_ = Add(ScaleX(x), ScaleY(y));
            } else {
                dragging_ = false;
            }
        }
        events.push_back(Event(3, x, y));
    }
    void Move(int x, int y) {
        if (dragging_) {
            MovePoint(drag_, ScaleX(x), ScaleY(y));
            const bool outside = x < -10 || x > kWidth + 10 || y < -10 || y > kHeight + 10;
            const bool inner = drag_ != 0 && drag_ != static_cast<int>(points.size()) - 1;
            if (outside && inner && drag_ < static_cast<int>(points.size())) {
                points.erase(points.begin() + drag_);
                dragging_ = false;
            }
        }
        events.push_back(Event(1, x, y));
    }
    void Up(int x, int y) {
        if (dragging_) MovePoint(drag_, ScaleX(x), ScaleY(y));
        dragging_ = false;
        events.push_back(Event(2, x, y));
        events.push_back(Event(4, x, y));
    }
    void DoubleClick(int x, int y) {
        events.push_back("5:");
        const int hit = Hit(x, y);
        if (hit != -1) events.push_back("6:" + std::to_string(hit));
    }

private:
    int drag_ = -1;
    bool dragging_ = false;

    static std::string Event(int id, int x, int y) {
        return std::to_string(id) + ":" + std::to_string(x) + "," + std::to_string(y);
    }
    static float ScaleX(int px) { return static_cast<float>(22050.0 * px / kWidth + 0.0); }
    static float ScaleY(int py) { return static_cast<float>(20.0 - 40.0 * py / kHeight); }
    static int PixelX(float x) { return static_cast<int>(std::trunc((x - 0.0) * kWidth / 22050.0)); }
    static int PixelY(float y) { return static_cast<int>(std::trunc((20.0 - y) * kHeight / 40.0)); }
    static float Clamp(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

    int Hit(int px, int py) const {
        for (size_t i = 0; i < points.size(); ++i) {
            const int qx = PixelX(points[i].x);
            const int qy = PixelY(points[i].y);
            if (qx - 3 <= px && px < qx + 3 && qy - 3 <= py && py < qy + 3) return static_cast<int>(i);
        }
        return -1;
    }
    int Add(float x, float y) {
        x = Clamp(x, 0.0f, 22050.0f);
        y = Clamp(y, -20.0f, 20.0f);
        size_t at = 0;
        while (at < points.size() && points[at].x <= x) ++at;
        points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), ModelPoint{x, y});
        return static_cast<int>(at);
    }
    void MovePoint(int index, float x, float y) {
        if (index < 0 || index >= static_cast<int>(points.size())) return;
        ModelPoint& p = points[static_cast<size_t>(index)];
        p.y = Clamp(y, -20.0f, 20.0f);
        if (index == 0 || index == static_cast<int>(points.size()) - 1) return;
        x = Clamp(x, 0.0f, 22050.0f);
        p.x = Clamp(x, points[static_cast<size_t>(index) - 1].x, points[static_cast<size_t>(index) + 1].x);
    }
};

// A control of kWidth x kHeight pixels with both scales hidden and a sink
// recording its events.
class Harness {
public:
    Harness() {
        control->ScaleXVisible = 0;
        control->ScaleYVisible = 0;
        control->PositionRect = RECT{0, 0, kWidth, kHeight};
        if (control->FindConnectionPoint(DIID__ISonalterDisplay2Events, &point_) == S_OK) {
            point_->Advise(&sink, &cookie_);
        }
    }
    ~Harness() {
        if (point_) {
            point_->Unadvise(cookie_);
            point_->Release();
        }
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    std::vector<ModelPoint> Points() {
        std::vector<ModelPoint> out;
        const std::vector<float> flat = PointArrayOf(control.get());
        for (size_t i = 0; i + 1 < flat.size(); i += 2) out.push_back({flat[i], flat[i + 1]});
        return out;
    }

    Control control;
    EventSink sink;

private:
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
};

class MouseEditing : public ::testing::Test, public Harness {};

TEST_F(MouseEditing, AFullListAddsNothingButStillReportsThePress) {
    std::vector<float> flat;
    for (int i = 0; i < 150; ++i) {
        flat.push_back(22050.0f * static_cast<float>(i) / 149.0f);
        flat.push_back(-20.0f);
    }
    SAFEARRAY* array = MakeFloatArray(flat);
    ASSERT_EQ(control->SetPointArray(&array), S_OK);
    SafeArrayDestroy(array);
    control->OnLButtonDown(100, 10);
    control->OnMouseMove(110, 20);
    control->OnLButtonUp(110, 20);
    EXPECT_EQ(Points().size(), 150u);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"3:100,10", "1:110,20", "2:110,20", "4:110,20"}));
}

// Random scripts of clicks, drags (also out of the control), double clicks and
// plain moves, the same script to the control and to the model.
TEST(MouseEditingModel, RandomScriptsMatchTheModel) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> xs(-40, kWidth + 40);
    std::uniform_int_distribution<int> ys(-40, kHeight + 40);
    std::uniform_int_distribution<int> kinds(0, 9);
    for (int script = 0; script < 60; ++script) {
        Harness h;
        EditingModel model;
        for (int step = 0; step < 40; ++step) {
            const int kind = kinds(random);
            const int x = xs(random);
            const int y = ys(random);
            if (kind < 4) {  // a drag, starting on an existing point half the time
                int sx = xs(random);
                int sy = ys(random);
                if (kind < 2) {
                    const ModelPoint& p = model.points[static_cast<size_t>(random()) % model.points.size()];
                    sx = static_cast<int>(p.x * kWidth / 22050.0f);
                    sy = static_cast<int>((20.0f - p.y) * kHeight / 40.0f);
                }
                h.control->OnLButtonDown(sx, sy);
                model.Down(sx, sy);
                for (int k = 1; k <= 3; ++k) {
                    const int mx = sx + (x - sx) * k / 3;
                    const int my = sy + (y - sy) * k / 3;
                    h.control->OnMouseMove(mx, my);
                    model.Move(mx, my);
                }
                h.control->OnLButtonUp(x, y);
                model.Up(x, y);
            } else if (kind < 6) {
                h.control->OnLButtonDown(x, y);
                model.Down(x, y);
                h.control->OnLButtonUp(x, y);
                model.Up(x, y);
                h.control->OnLButtonDblClk(x, y);
                model.DoubleClick(x, y);
                h.control->OnLButtonUp(x, y);
                model.Up(x, y);
            } else {
                h.control->OnMouseMove(x, y);
                model.Move(x, y);
            }
        }
        const std::string where = "script " + std::to_string(script);
        ASSERT_EQ(h.sink.events, model.events) << where;
        const std::vector<ModelPoint> actual = h.Points();
        ASSERT_EQ(actual.size(), model.points.size()) << where;
        for (size_t i = 0; i < actual.size(); ++i) {
            ASSERT_EQ(actual[i].x, model.points[i].x) << where << " point " << i;
            ASSERT_EQ(actual[i].y, model.points[i].y) << where << " point " << i;
        }
    }
}

}  // namespace
}  // namespace qelv::test

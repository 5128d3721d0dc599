// Point editing with the mouse, checked against a model of the editing rules
// written out on its own (EditingRules.h): random mouse scripts go to the control's
// handlers and to the model, and the events and the points must agree. Both
// scales are hidden so the plot is the whole control and no font is involved.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "DisplayTestSupport.h"
#include "EditingRules.h"

namespace qelv::test {
namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 120;

using editing::Point;

// The model of a control of kWidth x kHeight pixels with both scales hidden
// (the plot is the whole control) and the default scales: 0..22050 across,
// -20..20 up.
editing::Model PlainModel() {
    editing::Model model;
    model.plotW = model.w = kWidth;
    model.plotH = model.h = kHeight;
    return model;
}

// The model's events as the test sink records them: "3:100,10", "5:", "6:2".
std::vector<std::string> Recorded(const std::vector<editing::Event>& events) {
    std::vector<std::string> out;
    for (const editing::Event& e : events) {
        std::string line = std::to_string(e.id) + ":";
        for (size_t k = 0; k < e.args.size(); ++k) {
            if (k) line += ',';
            line += std::to_string(e.args[k]);
        }
        out.push_back(line);
    }
    return out;
}

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

    std::vector<Point> Points() {
        std::vector<Point> out;
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
        editing::Model model = PlainModel();
        for (int step = 0; step < 40; ++step) {
            const int kind = kinds(random);
            const int x = xs(random);
            const int y = ys(random);
            if (kind < 4) {  // a drag, starting on an existing point half the time
                int sx = xs(random);
                int sy = ys(random);
                if (kind < 2) {
                    const Point& p = model.points[static_cast<size_t>(random()) % model.points.size()];
                    sx = static_cast<int>(p.x * kWidth / 22050.0f);
                    sy = static_cast<int>((20.0f - p.y) * kHeight / 40.0f);
                }
                h.control->OnLButtonDown(sx, sy);
                model.Down(sx, sy);
                for (int k = 1; k <= 3; ++k) {
                    const int mx = sx + (x - sx) * k / 3;
                    const int my = sy + (y - sy) * k / 3;
                    h.control->OnMouseMove(mx, my);
                    model.MoveTo(mx, my);
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
                model.MoveTo(x, y);
            }
        }
        const std::string where = "script " + std::to_string(script);
        ASSERT_EQ(h.sink.events, Recorded(model.events)) << where;
        const std::vector<Point> actual = h.Points();
        ASSERT_EQ(actual.size(), model.points.size()) << where;
        for (size_t i = 0; i < actual.size(); ++i) {
            ASSERT_EQ(actual[i].x, model.points[i].x) << where << " point " << i;
            ASSERT_EQ(actual[i].y, model.points[i].y) << where << " point " << i;
        }
    }
}

}  // namespace
}  // namespace qelv::test

// The graphing control's point-editing rules, written out on their own so that
// tests can drive the control and this model with the same mouse script and
// compare the events and the points (tests/display/MouseEditingTest.cpp through
// the handlers, tests/windows/mouse/MouseTest.cpp through a real window).
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace qelv::editing {

struct Point {
    float x, y;
};

// An event as the control fires it: its dispatch identifier (1 MouseMove,
// 2 MouseUp, 3 MouseDown, 4 MouseClick, 5 MouseDblClick, 6 ResetPoint) and its
// arguments.
struct Event {
    int id;
    std::vector<int> args;
    bool operator==(const Event&) const = default;
};

class Model {
public:
    double xMin = 0, xMax = 22050, yMin = -20, yMax = 20;
    int plotW = 0, plotH = 0;  // the plot area in pixels
    int w = 0, h = 0;          // the control's size
    std::vector<Point> points{{0.0f, 0.0f}, {22050.0f, 0.0f}};
    std::vector<Event> events;

    void ToPixel(const Point& p, int& px, int& py) const {
        px = static_cast<int>(std::trunc((p.x - xMin) * plotW / (xMax - xMin)));
        py = static_cast<int>(std::trunc((yMax - p.y) * plotH / (yMax - yMin)));
    }
    Point ToScale(int px, int py) const {
        return {static_cast<float>((xMax - xMin) * px / plotW + xMin),
                static_cast<float>(yMax - (yMax - yMin) * py / plotH)};
    }
    int Hit(int px, int py) const {
        for (size_t i = 0; i < points.size(); ++i) {
            int qx, qy;
            ToPixel(points[i], qx, qy);
            if (qx - 3 <= px && px < qx + 3 && qy - 3 <= py && py < qy + 3) return static_cast<int>(i);
        }
        return -1;
    }

    void Down(int x, int y) {
        dragIndex_ = Hit(x, y);
        dragging_ = true;
        if (dragIndex_ == -1) {
            if (points.size() < 150) dragIndex_ = Add(ToScale(x, y));
            else dragging_ = false;
        }
        events.push_back({3, {x, y}});
    }
    void MoveTo(int x, int y) {
        if (dragging_) {
            Move(dragIndex_, ToScale(x, y));
            const bool outside = x < -10 || x > w + 10 || y < -10 || y > h + 10;
            if (outside && dragIndex_ != 0 && dragIndex_ != static_cast<int>(points.size()) - 1) {
                points.erase(points.begin() + dragIndex_);
                dragging_ = false;
            }
        }
        events.push_back({1, {x, y}});
    }
    void Up(int x, int y) {
        if (dragging_) Move(dragIndex_, ToScale(x, y));
        dragging_ = false;
        events.push_back({2, {x, y}});
        events.push_back({4, {x, y}});
    }
    void DoubleClick(int x, int y) {
        events.push_back({5, {}});
        const int i = Hit(x, y);
        if (i != -1) events.push_back({6, {i}});
    }

private:
    int dragIndex_ = -1;
    bool dragging_ = false;

    static float Clamp(float v, double lo, double hi) {
        if (v > hi) return static_cast<float>(hi);
        if (v < lo) return static_cast<float>(lo);
        return v;
    }
    int Add(Point p) {
        p.x = Clamp(p.x, xMin, xMax);
        p.y = Clamp(p.y, yMin, yMax);
        size_t at = 0;
        while (at < points.size() && points[at].x <= p.x) ++at;
        points.insert(points.begin() + static_cast<long>(at), p);
        return static_cast<int>(at);
    }
    void Move(int i, Point p) {
        if (i < 0 || i >= static_cast<int>(points.size())) return;
        points[i].y = Clamp(p.y, yMin, yMax);
        if (i == 0 || i == static_cast<int>(points.size()) - 1) return;
        float x = Clamp(p.x, xMin, xMax);
        if (x < points[i - 1].x) x = points[i - 1].x;
        if (x > points[i + 1].x) x = points[i + 1].x;
        points[i].x = x;
    }
};

}  // namespace qelv::editing

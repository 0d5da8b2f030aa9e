#include "ui/joy_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace velcora::ui {

JoyGeometry ComputeJoyGeometry(int clientW, int clientH) {
    JoyGeometry g;
    g.size = std::max(0, std::min(clientW, clientH));
    g.k = static_cast<int>(std::trunc(g.size / 120.0 * 30.0));
    // A control squeezed below four pixels would make every drag divide by
    // zero; one pixel per full deflection keeps the values finite.
    g.k = std::max(1, g.k);
    g.cx = clientW / 2;
    g.cy = clientH / 2;
    return g;
}

int JoyStickHalf(const JoyGeometry& g) {
    return g.k * 36 / 48;
}

void JoyStickCentre(const JoyGeometry& g, const JoyValues& v, int& kx, int& ky) {
    kx = g.cx + static_cast<int>(std::trunc(v.x * g.k));
    ky = g.cy - static_cast<int>(std::trunc(g.k * v.y));
}

JoyPart JoyHitTest(const JoyGeometry& g, const JoyValues& v, bool rotation, int x, int y) {
    int kx = 0, ky = 0;
    JoyStickCentre(g, v, kx, ky);
    const int c = JoyStickHalf(g);
    if (std::abs(x - kx) < c && std::abs(y - ky) < c) {
        return JoyPart::Stick;
    }
    if (rotation && std::abs(x - kx) < c && y > ky - 2 * c && y < ky - c) {
        return JoyPart::Handle;
    }
    return JoyPart::None;
}

float JoyClamp(float v) {
    if (std::isnan(v)) {
        return 0;
    }
    return std::clamp(v, -1.0f, 1.0f);
}

JoyValues JoyDrag(JoyPart part, const JoyValues& start, int k, int dx, int dy, bool axisLock) {
    JoyValues v = start;
    const float kk = static_cast<float>(std::max(1, k));
    if (part == JoyPart::Stick) {
        v.x = JoyClamp(start.x + dx / kk);
        v.y = JoyClamp(start.y - dy / kk);
        if (std::fabs(v.x) < 0.05f) {
            v.x = 0;
        }
        if (axisLock) {
            (std::fabs(v.x) < std::fabs(v.y) ? v.x : v.y) = 0;
        }
    } else if (part == JoyPart::Handle) {
        v.r = JoyClamp(start.r + dx / kk);
        v.y = JoyClamp(start.y - dy / kk);
        if (axisLock) {
            (std::fabs(v.r) < std::fabs(v.y) ? v.r : v.y) = 0;
        }
    }
    return v;
}

JoyValues JoyRelease(const JoyValues& now, bool springBack, bool dragged, bool ctrlHeld) {
    if (springBack && dragged && !ctrlHeld) {
        return {};
    }
    return now;
}

JoyLayerPose JoyLayer(const JoyGeometry& g, const JoyValues& v, int layer) {
    JoyLayerPose p;
    p.dx = layer * v.x * g.k / 5.0f;
    p.dy = -g.k * layer * v.y / 5.0f;
    p.angle = layer * v.r / 5.0f;
    p.scale = g.size / 120.0f;
    return p;
}

}  // namespace velcora::ui

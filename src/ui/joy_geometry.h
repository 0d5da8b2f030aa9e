// Geometry and value arithmetic of the on-screen joystick: where the stick and
// its rotation handle are, what a drag does to the values, and where each
// layer of the tilted knob is drawn.
#pragma once

namespace velcora::ui {

struct JoyValues {
    float x = 0, y = 0, r = 0;
    bool operator==(const JoyValues&) const = default;
};

struct JoyGeometry {
    int size = 0;  // the side of the square the stick moves in
    int k = 1;     // pixels for a full deflection
    int cx = 0, cy = 0;
};

// Recomputed from the client size on every paint.
JoyGeometry ComputeJoyGeometry(int clientW, int clientH);

enum class JoyPart { None, Stick, Handle };

// Half the side of the stick's square, c = k * 36 / 48.
int JoyStickHalf(const JoyGeometry& g);
// The stick's centre on screen for the given values.
void JoyStickCentre(const JoyGeometry& g, const JoyValues& v, int& kx, int& ky);
JoyPart JoyHitTest(const JoyGeometry& g, const JoyValues& v, bool rotation, int x, int y);

// Values while dragging `part` by (dx, dy) pixels from where the drag started.
// With the axis lock, of the two values moved the smaller one is zeroed.
JoyValues JoyDrag(JoyPart part, const JoyValues& start, int k, int dx, int dy, bool axisLock);

// Values after the mouse button is released.
JoyValues JoyRelease(const JoyValues& now, bool springBack, bool dragged, bool ctrlHeld);

// Where layer i (0..5) of the knob is drawn: offset from the centre, rotation
// in radians and scale.
struct JoyLayerPose {
    float dx = 0, dy = 0, angle = 0, scale = 1;
};
inline constexpr int kJoyLayers = 6;
JoyLayerPose JoyLayer(const JoyGeometry& g, const JoyValues& v, int layer);

// Clamps one axis to -1..1 (NaN becomes 0).
float JoyClamp(float v);

}  // namespace velcora::ui

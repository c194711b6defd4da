// Homogeneous clipping, one plane at a time, before anything is divided by w.
// Sits between the vertex stage and setup; it cuts and interpolates but neither
// projects nor decides winding or culling.
#include <cmath>

#include "gfx/sw/stages.h"

namespace sw {

namespace {

bool finite(const ClipVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.w);
}

// Signed distance to plane `p`; a vertex is inside when it is >= 0, so points exactly
// on a plane (z == w on the far plane above all) are kept.
double distance(const ClipVolume& vol, int p, const ClipVertex& v) {
    switch (p) {
        case kNearPlane: return v.z;
        case kFarPlane: return v.w - v.z;
        case kWFloorPlane: return v.w - kMinW;  // nothing at or behind the eye is divided
        case kLeftPlane: return vol.gx * v.w + v.x;
        case kRightPlane: return vol.gx * v.w - v.x;
        case kBottomPlane: return vol.gy * v.w + v.y;
        default: return vol.gy * v.w - v.y;  // kTopPlane
    }
}

// The point where the edge leaves the inside. Always computed from the inside end, so
// an edge two triangles share is cut at bit-identical points in both and the seam
// between them stays closed.
ClipVertex intersect(const ClipVertex& in, double dIn, const ClipVertex& out, double dOut) {
    const double t = dIn / (dIn - dOut);  // dIn >= 0 > dOut, so 0 <= t < 1
    auto lerp = [t](double a, double b) { return a + t * (b - a); };
    ClipVertex r;
    r.x = lerp(in.x, out.x);
    r.y = lerp(in.y, out.y);
    r.z = lerp(in.z, out.z);
    r.w = lerp(in.w, out.w);
    r.r = lerp(in.r, out.r);
    r.g = lerp(in.g, out.g);
    r.b = lerp(in.b, out.b);
    return r;
}

// Sutherland–Hodgman against one plane.
void clipPolygon(const ClipVolume& vol, int plane, const ClipPolygon& src, ClipPolygon& dst) {
    dst.count = 0;
    for (int i = 0; i < src.count; ++i) {
        const ClipVertex& a = src.v[i];
        const ClipVertex& b = src.v[(i + 1) % src.count];
        const double da = distance(vol, plane, a);
        const double db = distance(vol, plane, b);
        // A convex polygon gains one vertex per plane; rounding can bend one enough to
        // gain more, so a full polygon is dropped rather than overrun.
        if (dst.count + 2 > kMaxClipVertices) {
            dst.count = 0;
            return;
        }
        if (da >= 0) dst.v[dst.count++] = a;
        if ((da >= 0) != (db >= 0)) {
            dst.v[dst.count++] = da >= 0 ? intersect(a, da, b, db) : intersect(b, db, a, da);
        }
    }
}

}  // namespace

ClipVolume clipVolumeFor(int width, int height) {
    ClipVolume vol;
    vol.gx = 1.0 + 2.0 * kGuardPixels / width;
    vol.gy = 1.0 + 2.0 * kGuardPixels / height;
    return vol;
}

void clipTriangle(const ClipVolume& vol, const ClipVertex& a, const ClipVertex& b,
                  const ClipVertex& c, ClipPolygon& out) {
    out.count = 0;
    // Direct3D leaves NaN and infinite positions undefined; we drop the primitive.
    if (!finite(a) || !finite(b) || !finite(c)) return;

    unsigned outside = 0;  // bit p: some vertex is outside plane p
    for (int p = 0; p < kClipPlanes; ++p) {
        if (distance(vol, p, a) < 0 || distance(vol, p, b) < 0 || distance(vol, p, c) < 0) {
            outside |= 1u << p;
        }
    }
    ClipPolygon tmp;
    ClipPolygon* cur = &out;
    ClipPolygon* next = &tmp;
    cur->v[0] = a;
    cur->v[1] = b;
    cur->v[2] = c;
    cur->count = 3;
    for (int p = 0; p < kClipPlanes && cur->count >= 3; ++p) {
        if (!(outside & (1u << p))) continue;
        clipPolygon(vol, p, *cur, *next);
        ClipPolygon* t = cur;
        cur = next;
        next = t;
    }
    if (cur != &out) out = *cur;
    if (out.count < 3) out.count = 0;
}

bool clipLine(const ClipVolume& vol, ClipVertex& a, ClipVertex& b) {
    if (!finite(a) || !finite(b)) return false;
    for (int p = 0; p < kClipPlanes; ++p) {
        const double da = distance(vol, p, a);
        const double db = distance(vol, p, b);
        if (da < 0 && db < 0) return false;
        if (da < 0) a = intersect(b, db, a, da);
        if (db < 0) b = intersect(a, da, b, db);
    }
    return true;
}

}  // namespace sw
